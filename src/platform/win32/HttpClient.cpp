#include "platform/HttpClient.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/Event.h"
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
    HINTERNET Release() { return std::exchange(m_handle, nullptr); }
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

// The outcome of a request's running step, filled in by WinHTTP's callback. The request handle
// keeps it alive until its last callback, so a step given up may still complete into it, into
// its own buffers.
struct StepOutcome {
    Event done{true};
    DWORD error = ERROR_SUCCESS;
    DWORD count = 0;              // bytes available or read
    std::vector<uint8_t> body;    // what the send reads from
    std::vector<uint8_t> buffer;  // what a read fills

    void Complete(DWORD stepError, DWORD stepCount)
    {
        error = stepError;
        count = stepCount;
        done.Set();
    }
};
using StepOutcomeRef = std::shared_ptr<StepOutcome>;

// The client's handles whose last callback (HANDLE_CLOSING) has not come yet. WinHTTP's threads
// may call back after a handle is closed, so the client (and the DLL with it) may only go once
// this is zero. The session is counted first and closed last, so zero comes once, at the end.
class OpenHandles {
public:
    void Opened() { ++m_count; }
    void Closed()
    {
        if (--m_count == 0)
            m_allClosed.Set();
    }
    void WaitAllClosed(DWORD limitMs)
    {
        if (m_count > 0)
            m_allClosed.Wait(limitMs);
    }

private:
    std::atomic<int> m_count{0};
    Event m_allClosed{true};
};

// What a handle's callbacks reach: the count of open handles and, for a request, its step outcome.
struct HandleContext {
    std::shared_ptr<OpenHandles> handles;
    StepOutcomeRef outcome;
};

void CALLBACK OnHandleStatus(HINTERNET, DWORD_PTR value, DWORD status, void* info, DWORD length)
{
    auto* context = reinterpret_cast<HandleContext*>(value);
    if (context == nullptr)
        return;
    if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {  // the handle's last callback
        const std::shared_ptr<OpenHandles> handles = std::move(context->handles);
        delete context;
        handles->Closed();
        return;
    }
    StepOutcome* outcome = context->outcome.get();
    if (outcome == nullptr)
        return;
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        outcome->Complete(ERROR_SUCCESS, 0);
        break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
        outcome->Complete(ERROR_SUCCESS, *static_cast<DWORD*>(info));
        break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        outcome->Complete(ERROR_SUCCESS, length);
        break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
        outcome->Complete(static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError, 0);
        break;
    default:
        break;
    }
}

// Added to a step's time-outs before the client gives up waiting for WinHTTP itself.
constexpr DWORD kStepMarginMs = 5000;
constexpr DWORD kUnlimitedTimeoutMs = 60000;  // stands in for a time-out of 0 (none) in that bound

}  // namespace

// WinHTTP in asynchronous mode: each step starts and the client waits for its completion or for
// Abort(), so a step ends at once when aborted. Only the client's thread touches the handles.
class WinHttpClient final : public HttpClient {
public:
    explicit WinHttpClient(const std::string& userAgent)
    {
        InternetHandle session(WinHttpOpen(Widen(userAgent).c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY,
                                           WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
        // Handles made later take the callback over from the session.
        if (session.Get() != nullptr &&
            WinHttpSetStatusCallback(session.Get(), &OnHandleStatus,
                                     WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                     0) != WINHTTP_INVALID_STATUS_CALLBACK &&
            Track(session.Get(), nullptr))
            m_session = session.Release();
    }
    ~WinHttpClient() override
    {
        CloseRequest();
        m_connection.Close();
        m_session.Close();
        m_handles->WaitAllClosed(StepLimitMs());
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
        m_connection.Close();
        if (!IsOpen())
            return false;
        InternetHandle connection(WinHttpConnect(m_session.Get(), Widen(host).c_str(), port, 0));
        if (connection.Get() != nullptr && Track(connection.Get(), nullptr))
            m_connection = connection.Release();
        return IsConnected();
    }

    bool IsConnected() const override { return m_connection.Get() != nullptr; }

    bool OpenRequest(const std::string& method, const std::string& path, bool secure, bool escapeQuery) override
    {
        CloseRequest();
        if (!IsConnected() || method.empty())
            return false;
        const DWORD flags = (secure ? WINHTTP_FLAG_SECURE : 0) | (escapeQuery ? 0 : WINHTTP_FLAG_ESCAPE_DISABLE_QUERY);
        InternetHandle request(WinHttpOpenRequest(m_connection.Get(), Widen(method).c_str(), Widen(path).c_str(),
                                                  nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
        if (request.Get() == nullptr)
            return false;
        auto outcome = std::make_shared<StepOutcome>();
        if (!Track(request.Get(), outcome))
            return false;
        DWORD replyTimeout = static_cast<DWORD>(m_timeouts[static_cast<int>(HttpTimeout::ReceiveReply)]);
        WinHttpSetOption(request.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &replyTimeout, sizeof replyTimeout);
        m_request = request.Release();
        m_outcome = std::move(outcome);
        return true;
    }

    bool HasRequest() const override { return m_request.Get() != nullptr; }

    bool SetCredentials(uint32_t schemes, const std::string& user, const std::string& password) override
    {
        const DWORD scheme = OneScheme(schemes);
        return scheme != 0 && (schemes & kHttpAuthPassport) == 0 &&
               WinHttpSetCredentials(m_request.Get(), WINHTTP_AUTH_TARGET_SERVER, scheme, Widen(user).c_str(),
                                     Widen(password).c_str(), nullptr);
    }

    bool SetIgnoreCertificateErrors() override
    {
        DWORD flags = kIgnoredCertificateErrors;
        return WinHttpSetOption(m_request.Get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    }

    bool SetFollowRedirects(bool follow) override
    {
        if (follow)
            return HasRequest();
        DWORD feature = WINHTTP_DISABLE_REDIRECTS;
        return WinHttpSetOption(m_request.Get(), WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof feature);
    }

    bool AddHeader(const std::string& line) override
    {
        const std::wstring wide = Widen(line);
        return WinHttpAddRequestHeaders(m_request.Get(), wide.c_str(), static_cast<DWORD>(wide.size()),
                                        WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
    }

    HttpError SendRequest(const std::vector<uint8_t>& body, size_t totalLength) override
    {
        return RunStep([&](StepOutcome& outcome) {
            outcome.body = body;
            void* data = outcome.body.empty() ? WINHTTP_NO_REQUEST_DATA : outcome.body.data();
            return WinHttpSendRequest(m_request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, data,
                                      static_cast<DWORD>(outcome.body.size()), static_cast<DWORD>(totalLength), 0);
        });
    }

    HttpError ReceiveResponse() override
    {
        return RunStep([&](StepOutcome&) { return WinHttpReceiveResponse(m_request.Get(), nullptr); });
    }

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
        if (!WinHttpQueryAuthSchemes(m_request.Get(), &offered, &preferred, &target))
            return false;
        supported = offered;
        first = preferred;
        return true;
    }

    size_t QueryDataAvailable() override
    {
        const HttpError outcome =
            RunStep([&](StepOutcome&) { return WinHttpQueryDataAvailable(m_request.Get(), nullptr); });
        return outcome == HttpError::None ? m_outcome->count : 0;
    }

    HttpError ReadData(uint8_t* buffer, size_t size, size_t& read) override
    {
        read = 0;
        const HttpError outcome = RunStep([&](StepOutcome& step) {
            step.buffer.resize(size);
            return WinHttpReadData(m_request.Get(), step.buffer.data(), static_cast<DWORD>(size), nullptr);
        });
        if (outcome == HttpError::None) {
            read = std::min<size_t>(m_outcome->count, size);
            std::memcpy(buffer, m_outcome->buffer.data(), read);
        }
        return outcome;
    }

    void CloseRequest() override
    {
        m_request.Close();
        m_outcome.reset();
    }

    // Wakes the step that is waiting; the client's thread then closes the request.
    void Abort() override { m_aborted.Set(); }

    void ClearAbort() override { m_aborted.Reset(); }

private:
    // Gives the handle its callback context; the handle's closing callback deletes it.
    bool Track(HINTERNET handle, StepOutcomeRef outcome)
    {
        auto* context = new HandleContext{m_handles, std::move(outcome)};
        DWORD_PTR value = reinterpret_cast<DWORD_PTR>(context);
        if (!WinHttpSetOption(handle, WINHTTP_OPTION_CONTEXT_VALUE, &value, sizeof value)) {
            delete context;
            return false;
        }
        m_handles->Opened();
        return true;
    }

    // Starts a step and waits for its completion. An abort, or no completion well after the step's
    // time-outs, gives the request up.
    template <typename Start>
    HttpError RunStep(Start start)
    {
        if (m_aborted.Wait(0))
            return HttpError::Aborted;
        if (!HasRequest())
            return HttpError::Failed;
        StepOutcome& outcome = *m_outcome;
        outcome.done.Reset();
        if (!start(outcome))
            return GetLastError() == ERROR_WINHTTP_TIMEOUT ? HttpError::Timeout : HttpError::Failed;
        Event* const events[] = {&outcome.done, &m_aborted};
        const int woken = WaitAny(events, 2, StepLimitMs());
        if (woken == 0) {
            if (outcome.error == ERROR_SUCCESS)
                return HttpError::None;
            return outcome.error == ERROR_WINHTTP_TIMEOUT ? HttpError::Timeout : HttpError::Failed;
        }
        CloseRequest();
        return woken == 1 ? HttpError::Aborted : HttpError::Timeout;
    }

    DWORD StepLimitMs() const
    {
        DWORD limit = kStepMarginMs;
        for (int timeout : m_timeouts)
            limit += timeout > 0 ? static_cast<DWORD>(timeout) : kUnlimitedTimeoutMs;
        return limit;
    }

    bool QueryNumber(DWORD query, DWORD& value) const
    {
        DWORD size = sizeof value;
        return WinHttpQueryHeaders(m_request.Get(), query | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                                   &value, &size, WINHTTP_NO_HEADER_INDEX);
    }

    std::shared_ptr<OpenHandles> m_handles = std::make_shared<OpenHandles>();
    InternetHandle m_session;
    InternetHandle m_connection;
    InternetHandle m_request;
    StepOutcomeRef m_outcome;  // the running request's, shared with its handle
    Event m_aborted{true};
    int m_timeouts[5] = {0, 0, 0, 0, 0};  // by HttpTimeout
};

std::unique_ptr<HttpClient> HttpClient::Create(const std::string& userAgent)
{
    return std::make_unique<WinHttpClient>(userAgent);
}

}  // namespace korvane::platform
