#include "platform/HttpClient.h"

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <mutex>
#include <utility>

#include "platform/win32/WideText.h"

namespace korvane::platform {

namespace {

// The certificate checks a camera's self-signed certificate fails.
constexpr DWORD kIgnoredCertificateErrors = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                                            SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                                            SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;

class InternetHandle {
public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : m_handle(handle) {}
    ~InternetHandle() { Close(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    InternetHandle& operator=(HINTERNET handle)
    {
        Close();
        m_handle = handle;
        return *this;
    }
    HINTERNET Get() const { return m_handle; }
    void Close()
    {
        if (m_handle != nullptr)
            WinHttpCloseHandle(std::exchange(m_handle, nullptr));
    }

private:
    HINTERNET m_handle = nullptr;
};

// WinHTTP takes one scheme: the strongest of those asked for.
DWORD OneScheme(uint32_t schemes)
{
    for (uint32_t bit : {kHttpAuthNegotiate, kHttpAuthNtlm, kHttpAuthDigest, kHttpAuthBasic})
        if (schemes & bit)
            return bit;
    return 0;
}

}  // namespace

// WinHTTP in synchronous mode: every step blocks under its own time-out.
class WinHttpClient final : public HttpClient {
public:
    explicit WinHttpClient(const std::string& userAgent)
    {
        m_session = WinHttpOpen(Widen(userAgent).c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0);
    }
    ~WinHttpClient() override
    {
        CloseRequest();
        m_connection.Close();
    }

    bool IsOpen() const override { return m_session.Get() != nullptr; }

    bool SetTimeout(HttpTimeout which, uint32_t ms) override
    {
        m_timeouts[static_cast<int>(which)] = static_cast<int>(ms);
        return IsOpen() && WinHttpSetTimeouts(m_session.Get(), m_timeouts[0], m_timeouts[1], m_timeouts[2],
                                              m_timeouts[static_cast<int>(HttpTimeout::Receive)]);
    }

    bool SetMaxConnectionsPerServer(uint32_t count) override
    {
        DWORD value = count;
        return IsOpen() && WinHttpSetOption(m_session.Get(), WINHTTP_OPTION_MAX_CONNS_PER_SERVER, &value, sizeof value);
    }

    bool Connect(const std::string& host, uint16_t port) override
    {
        CloseRequest();
        m_connection = IsOpen() ? WinHttpConnect(m_session.Get(), Widen(host).c_str(), port, 0) : nullptr;
        return IsConnected();
    }

    bool IsConnected() const override { return m_connection.Get() != nullptr; }

    bool OpenRequest(const std::string& method, const std::string& path, bool secure, bool escapeQuery) override
    {
        CloseRequest();
        if (!IsConnected() || method.empty())
            return false;
        const DWORD flags = (secure ? WINHTTP_FLAG_SECURE : 0) | (escapeQuery ? 0 : WINHTTP_FLAG_ESCAPE_DISABLE_QUERY);
        HINTERNET request = WinHttpOpenRequest(m_connection.Get(), Widen(method).c_str(), Widen(path).c_str(), nullptr,
                                               WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
        if (request == nullptr)
            return false;
        DWORD replyTimeout = static_cast<DWORD>(m_timeouts[static_cast<int>(HttpTimeout::ReceiveReply)]);
        WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &replyTimeout, sizeof replyTimeout);
        std::lock_guard<std::mutex> guard(m_requestMutex);
        m_request = request;
        return true;
    }

    bool HasRequest() const override { return Request() != nullptr; }

    bool SetCredentials(uint32_t schemes, const std::string& user, const std::string& password) override
    {
        const DWORD scheme = OneScheme(schemes);
        return scheme != 0 && (schemes & kHttpAuthPassport) == 0 &&
               WinHttpSetCredentials(Request(), WINHTTP_AUTH_TARGET_SERVER, scheme, Widen(user).c_str(),
                                     Widen(password).c_str(), nullptr);
    }

    bool SetIgnoreCertificateErrors() override
    {
        DWORD flags = kIgnoredCertificateErrors;
        return WinHttpSetOption(Request(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    }

    bool SetFollowRedirects(bool follow) override
    {
        if (follow)
            return HasRequest();
        DWORD feature = WINHTTP_DISABLE_REDIRECTS;
        return WinHttpSetOption(Request(), WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof feature);
    }

    bool AddHeader(const std::string& line) override
    {
        const std::wstring wide = Widen(line);
        return WinHttpAddRequestHeaders(Request(), wide.c_str(), static_cast<DWORD>(wide.size()),
                                        WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
    }

    HttpError SendRequest(const std::vector<uint8_t>& body, size_t totalLength) override
    {
        void* data = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<uint8_t*>(body.data());
        return Outcome(WinHttpSendRequest(Request(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, data,
                                          static_cast<DWORD>(body.size()), static_cast<DWORD>(totalLength), 0));
    }

    HttpError ReceiveResponse() override { return Outcome(WinHttpReceiveResponse(Request(), nullptr)); }

    uint32_t GetStatusCode() const override
    {
        DWORD status = 0;
        return QueryNumber(WINHTTP_QUERY_STATUS_CODE, status) ? status : 0;
    }

    bool GetContentLength(uint32_t& length) const override
    {
        DWORD value = 0;
        if (!QueryNumber(WINHTTP_QUERY_CONTENT_LENGTH, value))
            return false;
        length = value;
        return true;
    }

    bool QueryAuthSchemes(uint32_t& supported, uint32_t& first) const override
    {
        DWORD offered = 0;
        DWORD preferred = 0;
        DWORD target = 0;
        if (!WinHttpQueryAuthSchemes(Request(), &offered, &preferred, &target))
            return false;
        supported = offered;
        first = preferred;
        return true;
    }

    size_t QueryDataAvailable() override
    {
        DWORD available = 0;
        return WinHttpQueryDataAvailable(Request(), &available) ? available : 0;
    }

    HttpError ReadData(uint8_t* buffer, size_t size, size_t& read) override
    {
        DWORD count = 0;
        const HttpError outcome = Outcome(WinHttpReadData(Request(), buffer, static_cast<DWORD>(size), &count));
        read = outcome == HttpError::None ? count : 0;
        return outcome;
    }

    void CloseRequest() override
    {
        std::lock_guard<std::mutex> guard(m_requestMutex);
        m_request.Close();
    }

    // Closing the request handle ends the step that waits on it.
    void Abort() override
    {
        m_aborted = true;
        CloseRequest();
    }

    void ClearAbort() override { m_aborted = false; }

private:
    HINTERNET Request() const
    {
        std::lock_guard<std::mutex> guard(m_requestMutex);
        return m_request.Get();
    }

    bool QueryNumber(DWORD query, DWORD& value) const
    {
        DWORD size = sizeof value;
        return WinHttpQueryHeaders(Request(), query | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX, &value,
                                   &size, WINHTTP_NO_HEADER_INDEX);
    }

    HttpError Outcome(BOOL succeeded) const
    {
        if (succeeded)
            return HttpError::None;
        if (m_aborted)
            return HttpError::Aborted;
        return GetLastError() == ERROR_WINHTTP_TIMEOUT ? HttpError::Timeout : HttpError::Failed;
    }

    InternetHandle m_session;
    InternetHandle m_connection;
    mutable std::mutex m_requestMutex;  // Abort() closes the request from another thread
    InternetHandle m_request;
    std::atomic<bool> m_aborted{false};
    int m_timeouts[5] = {0, 0, 0, 0, 0};  // by HttpTimeout
};

std::unique_ptr<HttpClient> HttpClient::Create(const std::string& userAgent)
{
    return std::make_unique<WinHttpClient>(userAgent);
}

}  // namespace korvane::platform
