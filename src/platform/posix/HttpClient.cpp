#include "platform/HttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <optional>
#include <type_traits>

// WinHTTP -> libcurl:
//   session options (user agent, no proxy, synchronous use)  -> easy handle options, blocking steps below
//   resolve, connect and send time-outs                       -> deadlines of the send step's phases: resolving
//                                                                until libcurl has the address, connecting until the
//                                                                connection has a local port, then TLS handshake and
//                                                                request (CURLOPT_CONNECTTIMEOUT_MS would time the
//                                                                first three as one)
//   receive-reply and receive time-outs                       -> deadlines of the receive and read steps
//   max connections per server                                -> CURLMOPT_MAX_HOST_CONNECTIONS
//   server credentials and schemes                            -> CURLOPT_HTTPAUTH / USERNAME / PASSWORD
//   security flags 0x3300                                     -> CURLOPT_SSL_VERIFYPEER / VERIFYHOST off
//   WINHTTP_OPTION_DISABLE_FEATURE redirects                  -> CURLOPT_FOLLOWLOCATION
//   closing the request handle from another thread            -> abort flag + curl_multi_wakeup
// Without an equivalent: the separate limit for HTTP/1.0 servers, the Passport scheme, the
// bypass-proxy-cache flag (no proxy is used), and writing more body after sending (the whole
// body is passed to the send step).

namespace korvane::platform {

namespace {

static_assert(std::is_same_v<curl_off_t, int64_t>, "curl_off_t must be a 64-bit integer");

constexpr size_t kBufferedBodyLimit = 256 * 1024;  // body bytes held before the transfer pauses
constexpr size_t kHeaderLimit = 64 * 1024;         // header bytes accepted per request
constexpr long kMaxRedirects = 10;

CURL* Easy(void* handle) { return static_cast<CURL*>(handle); }
CURLM* Multi(void* handle) { return static_cast<CURLM*>(handle); }

bool IsUnsafeInTarget(unsigned char c)
{
    return c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c) != nullptr;
}

// Percent-encodes characters that may not appear on a request line; the query part only when asked.
std::string EscapeTarget(const std::string& path, bool escapeQuery)
{
    static const char kHex[] = "0123456789ABCDEF";
    const size_t query = path.find('?');
    std::string target;
    for (size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        const bool inQuery = query != std::string::npos && i > query;
        if (IsUnsafeInTarget(c) && (escapeQuery || !inQuery)) {
            target += '%';
            target += kHex[c >> 4];
            target += kHex[c & 15];
        } else {
            target += static_cast<char>(c);
        }
    }
    return target;
}

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(const std::string& text)
{
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return {};
    const size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

std::string HeaderName(const std::string& line)
{
    const size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : Trim(line.substr(0, colon));
}

uint32_t SchemeBit(const std::string& name)
{
    if (EqualsNoCase(name, "Basic"))
        return kHttpAuthBasic;
    if (EqualsNoCase(name, "NTLM"))
        return kHttpAuthNtlm;
    if (EqualsNoCase(name, "Passport1.4"))
        return kHttpAuthPassport;
    if (EqualsNoCase(name, "Digest"))
        return kHttpAuthDigest;
    if (EqualsNoCase(name, "Negotiate"))
        return kHttpAuthNegotiate;
    return 0;
}

}  // namespace

// One libcurl easy handle, driven through a multi handle so every step keeps its own time-out.
class CurlHttpClient final : public HttpClient {
public:
    explicit CurlHttpClient(const std::string& userAgent);
    ~CurlHttpClient() override;
    bool IsOpen() const override { return m_easy != nullptr; }
    bool SetTimeout(HttpTimeout which, uint32_t ms) override;
    bool SetMaxConnectionsPerServer(uint32_t count) override;
    bool Connect(const std::string& host, uint16_t port) override;
    bool IsConnected() const override { return !m_host.empty(); }
    bool OpenRequest(const std::string& method, const std::string& path, bool secure, bool escapeQuery) override;
    bool HasRequest() const override { return m_requestOpen; }
    bool SetCredentials(uint32_t schemes, const std::string& user, const std::string& password) override;
    bool SetIgnoreCertificateErrors() override;
    bool SetFollowRedirects(bool follow) override;
    bool AddHeader(const std::string& line) override;
    HttpError SendRequest(const std::vector<uint8_t>& body, size_t totalLength) override;
    HttpError ReceiveResponse() override;
    uint32_t GetStatusCode() const override { return m_status; }
    bool GetContentLength(uint32_t& length) const override;
    bool QueryAuthSchemes(uint32_t& supported, uint32_t& first) const override;
    size_t QueryDataAvailable() override;
    HttpError ReadData(uint8_t* buffer, size_t size, size_t& read) override;
    void CloseRequest() override;
    void Abort() override;
    void ClearAbort() override { m_aborted = false; }

private:
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    static int OnProgress(void* self, int64_t dlTotal, int64_t dlNow, int64_t ulTotal, int64_t ulNow);

    using Clock = std::chrono::steady_clock;
    using Deadline = std::optional<Clock::time_point>;  // none: no limit

    // The time-out of the send step's current phase: resolving, connecting or sending.
    HttpTimeout SendPhase() const;
    Deadline After(Clock::time_point start, HttpTimeout which) const;
    // Runs the transfer until done() or the deadline, which is asked again after every step.
    template <typename DeadlineOf, typename Done>
    HttpError Drive(DeadlineOf deadline, Done done);
    HttpError TransferError() const;
    bool ReplyIsFinal() const;
    bool ApplyHeaders(bool hasBody);
    std::string FindHeader(const std::string& name) const;

    void* m_easy = nullptr;   // CURL*
    void* m_multi = nullptr;  // CURLM*
    void* m_headerList = nullptr;  // curl_slist*
    std::atomic<bool> m_aborted{false};

    std::string m_userAgent;
    std::string m_host;
    uint16_t m_port = 0;
    uint32_t m_timeouts[5] = {0, 0, 0, 0, 0};

    // Current request.
    bool m_requestOpen = false;
    bool m_inTransfer = false;
    bool m_transferDone = false;
    int m_transferResult = 0;  // CURLcode
    bool m_mayRepeat401 = false;
    bool m_followRedirects = true;
    std::string m_method;
    std::vector<std::string> m_requestHeaders;
    std::vector<uint8_t> m_body;
    int64_t m_uploaded = 0;

    // Current reply.
    uint32_t m_status = 0;
    bool m_headersComplete = false;
    size_t m_headerBytes = 0;
    std::vector<std::string> m_replyHeaders;
    std::vector<uint8_t> m_received;  // body bytes not yet read
    size_t m_receivedOffset = 0;
    bool m_paused = false;
};

std::unique_ptr<HttpClient> HttpClient::Create(const std::string& userAgent)
{
    return std::make_unique<CurlHttpClient>(userAgent);
}

CurlHttpClient::CurlHttpClient(const std::string& userAgent) : m_userAgent(userAgent)
{
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        return;
    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    if (easy == nullptr || multi == nullptr) {
        if (easy != nullptr)
            curl_easy_cleanup(easy);
        if (multi != nullptr)
            curl_multi_cleanup(multi);
        curl_global_cleanup();
        return;
    }
    curl_easy_setopt(easy, CURLOPT_USERAGENT, m_userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlHttpClient::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlHttpClient::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CurlHttpClient::OnProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    m_easy = easy;
    m_multi = multi;
}

CurlHttpClient::~CurlHttpClient()
{
    if (!IsOpen())
        return;
    CloseRequest();
    curl_multi_cleanup(Multi(m_multi));
    curl_easy_cleanup(Easy(m_easy));
    curl_global_cleanup();
}

bool CurlHttpClient::SetTimeout(HttpTimeout which, uint32_t ms)
{
    if (!IsOpen())
        return false;
    m_timeouts[static_cast<int>(which)] = ms;
    return true;
}

bool CurlHttpClient::SetMaxConnectionsPerServer(uint32_t count)
{
    return IsOpen() && curl_multi_setopt(Multi(m_multi), CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(count)) == CURLM_OK;
}

bool CurlHttpClient::Connect(const std::string& host, uint16_t port)
{
    if (!IsOpen() || host.empty())
        return false;
    m_host = host;
    m_port = port;
    return true;
}

bool CurlHttpClient::OpenRequest(const std::string& method, const std::string& path, bool secure, bool escapeQuery)
{
    CloseRequest();
    if (!IsOpen() || !IsConnected() || method.empty())
        return false;
    const std::string host = m_host.find(':') != std::string::npos ? "[" + m_host + "]" : m_host;
    const std::string target = EscapeTarget(path.empty() || path[0] != '/' ? "/" + path : path, escapeQuery);
    const std::string url = (secure ? "https://" : "http://") + host + ":" + std::to_string(m_port) + target;

    CURLU* parsed = curl_url();
    const bool valid = parsed != nullptr && curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
    curl_url_cleanup(parsed);
    if (!valid)
        return false;

    CURL* easy = Easy(m_easy);
    if (curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC)) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_USERNAME, nullptr) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_PASSWORD, nullptr) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L) != CURLE_OK || !SetFollowRedirects(true) ||
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects) != CURLE_OK)
        return false;
    m_method = method;
    m_requestOpen = true;
    return true;
}

bool CurlHttpClient::SetCredentials(uint32_t schemes, const std::string& user, const std::string& password)
{
    if (!m_requestOpen || (schemes & kHttpAuthPassport) != 0)
        return false;
    unsigned long mask = 0;
    if (schemes & kHttpAuthBasic)
        mask |= CURLAUTH_BASIC;
    if (schemes & kHttpAuthNtlm)
        mask |= CURLAUTH_NTLM;
    if (schemes & kHttpAuthDigest)
        mask |= CURLAUTH_DIGEST;
    if (schemes & kHttpAuthNegotiate)
        mask |= CURLAUTH_NEGOTIATE;
    CURL* easy = Easy(m_easy);
    if (mask == 0 || curl_easy_setopt(easy, CURLOPT_HTTPAUTH, mask) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_USERNAME, user.c_str()) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str()) != CURLE_OK)
        return false;
    // Every scheme but Basic answers a challenge, so libcurl itself may repeat the request after a 401.
    m_mayRepeat401 = (schemes & ~kHttpAuthBasic) != 0;
    return true;
}

bool CurlHttpClient::SetIgnoreCertificateErrors()
{
    return m_requestOpen && curl_easy_setopt(Easy(m_easy), CURLOPT_SSL_VERIFYPEER, 0L) == CURLE_OK &&
           curl_easy_setopt(Easy(m_easy), CURLOPT_SSL_VERIFYHOST, 0L) == CURLE_OK;
}

bool CurlHttpClient::SetFollowRedirects(bool follow)
{
    if (!IsOpen() || curl_easy_setopt(Easy(m_easy), CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L) != CURLE_OK)
        return false;
    m_followRedirects = follow;
    return true;
}

bool CurlHttpClient::AddHeader(const std::string& line)
{
    const std::string name = HeaderName(line);
    if (!m_requestOpen || name.empty())
        return false;
    auto same = std::find_if(m_requestHeaders.begin(), m_requestHeaders.end(),
                             [&](const std::string& existing) { return EqualsNoCase(HeaderName(existing), name); });
    if (same != m_requestHeaders.end())
        *same = line;
    else
        m_requestHeaders.push_back(line);
    return true;
}

std::string CurlHttpClient::FindHeader(const std::string& name) const
{
    for (const std::string& line : m_replyHeaders) {
        if (EqualsNoCase(HeaderName(line), name))
            return Trim(line.substr(line.find(':') + 1));
    }
    return {};
}

bool CurlHttpClient::ApplyHeaders(bool hasBody)
{
    // libcurl adds lines WinHTTP does not send; an empty "Name:" line removes them.
    std::vector<std::string> lines = m_requestHeaders;
    auto suppress = [&](const std::string& name) {
        const bool given = std::any_of(lines.begin(), lines.end(),
                                       [&](const std::string& line) { return EqualsNoCase(HeaderName(line), name); });
        if (!given)
            lines.push_back(name + ":");
    };
    suppress("Accept");
    suppress("Expect");
    if (hasBody)
        suppress("Content-Type");

    curl_slist* list = nullptr;
    for (const std::string& line : lines) {
        curl_slist* extended = curl_slist_append(list, line.c_str());
        if (extended == nullptr) {
            curl_slist_free_all(list);
            return false;
        }
        list = extended;
    }
    m_headerList = list;
    return curl_easy_setopt(Easy(m_easy), CURLOPT_HTTPHEADER, list) == CURLE_OK;
}

HttpError CurlHttpClient::SendRequest(const std::vector<uint8_t>& body, size_t totalLength)
{
    if (!m_requestOpen || m_inTransfer || totalLength > body.size())
        return HttpError::Failed;
    m_body = body;
    CURL* easy = Easy(m_easy);
    const bool plainGet = m_method == "GET" && m_body.empty();
    bool ok;
    if (plainGet) {
        ok = curl_easy_setopt(easy, CURLOPT_POSTFIELDS, nullptr) == CURLE_OK &&
             curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L) == CURLE_OK &&
             curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr) == CURLE_OK;
    } else {
        static const char kEmpty[] = "";
        const char* data = m_body.empty() ? kEmpty : reinterpret_cast<const char*>(m_body.data());
        ok = curl_easy_setopt(easy, CURLOPT_POST, 1L) == CURLE_OK &&
             curl_easy_setopt(easy, CURLOPT_POSTFIELDS, data) == CURLE_OK &&
             curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_body.size())) == CURLE_OK &&
             curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, m_method == "POST" ? nullptr : m_method.c_str()) == CURLE_OK;
    }
    if (!ok || !ApplyHeaders(!plainGet) || curl_multi_add_handle(Multi(m_multi), easy) != CURLM_OK)
        return HttpError::Failed;
    m_inTransfer = true;

    HttpTimeout phase = HttpTimeout::Resolve;
    Clock::time_point phaseStart = Clock::now();
    const auto phaseDeadline = [&] {
        const HttpTimeout reached = SendPhase();
        if (reached != phase) {
            phase = reached;
            phaseStart = Clock::now();
        }
        return After(phaseStart, phase);
    };
    return Drive(phaseDeadline, [&] {
        if (m_status != 0 || (m_transferDone && m_transferResult == CURLE_OK))
            return true;
        curl_off_t pretransfer = 0;
        curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
        return pretransfer > 0 && m_uploaded >= static_cast<int64_t>(m_body.size());
    });
}

HttpError CurlHttpClient::ReceiveResponse()
{
    if (!m_inTransfer)
        return HttpError::Failed;
    const Deadline limit = After(Clock::now(), HttpTimeout::ReceiveReply);
    return Drive([limit] { return limit; }, [&] { return ReplyIsFinal(); });
}

HttpTimeout CurlHttpClient::SendPhase() const
{
    // libcurl clears both after the first step of a transfer and sets the local port once
    // TCP is connected (at once for a kept connection), before any TLS handshake.
    long localPort = 0;
    curl_off_t resolvedUs = 0;
    curl_easy_getinfo(Easy(m_easy), CURLINFO_LOCAL_PORT, &localPort);
    curl_easy_getinfo(Easy(m_easy), CURLINFO_NAMELOOKUP_TIME_T, &resolvedUs);
    if (localPort > 0)
        return HttpTimeout::Send;
    return resolvedUs > 0 ? HttpTimeout::Connect : HttpTimeout::Resolve;
}

CurlHttpClient::Deadline CurlHttpClient::After(Clock::time_point start, HttpTimeout which) const
{
    const uint32_t ms = m_timeouts[static_cast<int>(which)];
    if (ms == 0)  // no limit, as WinHTTP treats it
        return std::nullopt;
    return start + std::chrono::milliseconds(ms);
}

bool CurlHttpClient::ReplyIsFinal() const
{
    if (!m_headersComplete)
        return false;
    if (m_received.size() > m_receivedOffset || m_transferDone)
        return true;
    const bool authRetry = (m_status == 401 || m_status == 407) && m_mayRepeat401;
    const bool redirect = m_followRedirects && m_status / 100 == 3 && !FindHeader("Location").empty();
    return !authRetry && !redirect;
}

bool CurlHttpClient::GetContentLength(uint32_t& length) const
{
    const std::string text = FindHeader("Content-Length");
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long value = std::stoull(text);
    if (value > 0xFFFFFFFFull)
        return false;
    length = static_cast<uint32_t>(value);
    return true;
}

bool CurlHttpClient::QueryAuthSchemes(uint32_t& supported, uint32_t& first) const
{
    supported = 0;
    first = 0;
    for (const std::string& line : m_replyHeaders) {
        if (!EqualsNoCase(HeaderName(line), "WWW-Authenticate"))
            continue;
        const std::string value = Trim(line.substr(line.find(':') + 1));
        const uint32_t bit = SchemeBit(value.substr(0, value.find_first_of(" \t")));
        supported |= bit;
        if (first == 0)
            first = bit;
    }
    return supported != 0;
}

size_t CurlHttpClient::QueryDataAvailable()
{
    if (!m_inTransfer)
        return 0;
    Drive([] { return Deadline(); }, [] { return true; });
    return m_received.size() - m_receivedOffset;
}

HttpError CurlHttpClient::ReadData(uint8_t* buffer, size_t size, size_t& read)
{
    read = 0;
    if (!m_inTransfer)
        return HttpError::Failed;
    const Deadline limit = After(Clock::now(), HttpTimeout::Receive);
    const HttpError waited =
        Drive([limit] { return limit; }, [&] { return m_received.size() > m_receivedOffset || m_transferDone; });
    if (waited != HttpError::None)
        return waited;
    const size_t available = m_received.size() - m_receivedOffset;
    if (available == 0)
        return TransferError();
    read = std::min(size, available);
    std::memcpy(buffer, m_received.data() + m_receivedOffset, read);
    m_receivedOffset += read;
    if (m_receivedOffset == m_received.size()) {
        m_received.clear();
        m_receivedOffset = 0;
    }
    if (m_paused && m_received.size() - m_receivedOffset < kBufferedBodyLimit) {
        m_paused = false;
        curl_easy_pause(Easy(m_easy), CURLPAUSE_CONT);
    }
    return HttpError::None;
}

void CurlHttpClient::CloseRequest()
{
    if (m_inTransfer)
        curl_multi_remove_handle(Multi(m_multi), Easy(m_easy));
    if (IsOpen())
        curl_easy_setopt(Easy(m_easy), CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(static_cast<curl_slist*>(m_headerList));
    m_headerList = nullptr;
    m_requestOpen = false;
    m_inTransfer = false;
    m_transferDone = false;
    m_transferResult = CURLE_OK;
    m_mayRepeat401 = false;
    m_requestHeaders.clear();
    m_body.clear();
    m_uploaded = 0;
    m_status = 0;
    m_headersComplete = false;
    m_headerBytes = 0;
    m_replyHeaders.clear();
    m_received.clear();
    m_receivedOffset = 0;
    m_paused = false;
}

void CurlHttpClient::Abort()
{
    m_aborted = true;
    if (m_multi != nullptr)
        curl_multi_wakeup(Multi(m_multi));
}

template <typename DeadlineOf, typename Done>
HttpError CurlHttpClient::Drive(DeadlineOf deadlineOf, Done done)
{
    for (;;) {
        if (m_aborted)
            return HttpError::Aborted;
        int running = 0;
        if (curl_multi_perform(Multi(m_multi), &running) != CURLM_OK)
            return HttpError::Failed;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(Multi(m_multi), &queued)) {
            if (message->msg == CURLMSG_DONE) {
                m_transferDone = true;
                m_transferResult = message->data.result;
            }
        }
        if (m_aborted)
            return HttpError::Aborted;
        if (done())
            return HttpError::None;
        if (m_transferDone) {
            const HttpError error = TransferError();
            return error == HttpError::None ? HttpError::Failed : error;
        }
        const Deadline deadline = deadlineOf();
        const auto now = Clock::now();
        if (deadline && now >= *deadline)
            return HttpError::Timeout;
        long waitMs = 1000;
        if (deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - now).count();
            waitMs = std::min<long>(waitMs, left + 1);
        }
        curl_multi_poll(Multi(m_multi), nullptr, 0, static_cast<int>(waitMs), nullptr);
    }
}

HttpError CurlHttpClient::TransferError() const
{
    if (m_transferResult == CURLE_OK)
        return HttpError::None;
    if (m_aborted)
        return HttpError::Aborted;
    if (m_transferResult == CURLE_OPERATION_TIMEDOUT)
        return HttpError::Timeout;
    return HttpError::Failed;
}

size_t CurlHttpClient::OnHeader(char* data, size_t size, size_t count, void* self)
{
    auto* client = static_cast<CurlHttpClient*>(self);
    const size_t bytes = size * count;
    client->m_headerBytes += bytes;
    if (client->m_aborted || client->m_headerBytes > kHeaderLimit)
        return 0;
    std::string line(data, bytes);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    if (line.compare(0, 5, "HTTP/") == 0) {
        // A new reply (after a 1xx, an authentication round or a redirect) replaces the last one.
        client->m_replyHeaders.clear();
        client->m_headersComplete = false;
        const size_t space = line.find(' ');
        client->m_status = space == std::string::npos ? 0 : static_cast<uint32_t>(std::strtoul(line.c_str() + space + 1, nullptr, 10));
    } else if (line.empty()) {
        client->m_headersComplete = client->m_status >= 200;
    } else {
        client->m_replyHeaders.push_back(line);
    }
    return bytes;
}

size_t CurlHttpClient::OnBody(char* data, size_t size, size_t count, void* self)
{
    auto* client = static_cast<CurlHttpClient*>(self);
    const size_t bytes = size * count;
    if (client->m_aborted)
        return 0;
    if (client->m_received.size() - client->m_receivedOffset >= kBufferedBodyLimit) {
        client->m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    client->m_received.insert(client->m_received.end(), data, data + bytes);
    return bytes;
}

int CurlHttpClient::OnProgress(void* self, int64_t, int64_t, int64_t, int64_t ulNow)
{
    auto* client = static_cast<CurlHttpClient*>(self);
    client->m_uploaded = ulNow;
    return client->m_aborted ? 1 : 0;
}

}  // namespace korvane::platform
