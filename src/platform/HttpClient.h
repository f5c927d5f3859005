#pragma once
// HTTP client shaped like WinHTTP (session + connection, one request at a time,
// separate send / receive / read steps), built on one libcurl easy handle so the
// connection is kept between requests. Used by one thread; Abort() may be called
// from any thread and ends a running step at once.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane::platform {

// Authentication scheme bits, the WinHTTP values.
constexpr uint32_t kHttpAuthBasic = 1;
constexpr uint32_t kHttpAuthNtlm = 2;
constexpr uint32_t kHttpAuthPassport = 4;
constexpr uint32_t kHttpAuthDigest = 8;
constexpr uint32_t kHttpAuthNegotiate = 16;

enum class HttpTimeout { Resolve, Connect, Send, ReceiveReply, Receive };

enum class HttpError {
    None,
    Timeout,  // ERROR_WINHTTP_TIMEOUT
    Aborted,  // the request was aborted through Abort()
    Failed,   // any other failure
};

class HttpClient {
public:
    explicit HttpClient(const std::string& userAgent);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    bool IsOpen() const { return m_easy != nullptr; }
    bool SetTimeout(HttpTimeout which, uint32_t ms);
    bool SetMaxConnectionsPerServer(uint32_t count);

    // Names the server of all later requests; the connection itself is made by the first send.
    bool Connect(const std::string& host, uint16_t port);
    bool IsConnected() const { return !m_host.empty(); }

    // Starts a new request (closing the previous one).
    bool OpenRequest(const std::string& method, const std::string& path, bool secure, bool escapeQuery);
    bool HasRequest() const { return m_requestOpen; }
    bool SetCredentials(uint32_t schemes, const std::string& user, const std::string& password);
    bool SetIgnoreCertificateErrors();
    bool SetFollowRedirects(bool follow);
    // A complete header line "Name: value"; replaces an earlier line of the same name.
    bool AddHeader(const std::string& line);

    // Sends the request with its body; the body must announce its full length. Name
    // resolution, connecting, and the TLS handshake with the sending share no time:
    // each has its own time-out, counted from the end of the one before.
    HttpError SendRequest(const std::vector<uint8_t>& body, size_t totalLength);
    // Waits for the final reply's status line and headers.
    HttpError ReceiveResponse();
    uint32_t GetStatusCode() const { return m_status; }
    // False when the reply has no (usable) Content-Length.
    bool GetContentLength(uint32_t& length) const;
    // Schemes offered by the reply's WWW-Authenticate lines; false when none.
    bool QueryAuthSchemes(uint32_t& supported, uint32_t& first) const;

    // Reply bytes readable without blocking.
    size_t QueryDataAvailable();
    // Reads up to size bytes; read = 0 with HttpError::None at the end of the body.
    HttpError ReadData(uint8_t* buffer, size_t size, size_t& read);

    void CloseRequest();
    void Abort();
    void ClearAbort() { m_aborted = false; }

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

}  // namespace korvane::platform
