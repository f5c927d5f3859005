#pragma once
// HTTP client shaped like WinHTTP (session + connection, one request at a time,
// separate send / receive / read steps); the connection is kept between requests.
// Used by one thread; Abort() may be called from any thread and ends a running
// step at once.
#include <cstddef>
#include <cstdint>
#include <memory>
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
    // A client with its own session; check IsOpen().
    static std::unique_ptr<HttpClient> Create(const std::string& userAgent);
    HttpClient() = default;
    virtual ~HttpClient() = default;
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    virtual bool IsOpen() const = 0;
    virtual bool SetTimeout(HttpTimeout which, uint32_t ms) = 0;
    virtual bool SetMaxConnectionsPerServer(uint32_t count) = 0;

    // Names the server of all later requests; the connection itself is made by the first send.
    virtual bool Connect(const std::string& host, uint16_t port) = 0;
    virtual bool IsConnected() const = 0;

    // Starts a new request (closing the previous one).
    virtual bool OpenRequest(const std::string& method, const std::string& path, bool secure, bool escapeQuery) = 0;
    virtual bool HasRequest() const = 0;
    virtual bool SetCredentials(uint32_t schemes, const std::string& user, const std::string& password) = 0;
    virtual bool SetIgnoreCertificateErrors() = 0;
    virtual bool SetFollowRedirects(bool follow) = 0;
    // A complete header line "Name: value"; replaces an earlier line of the same name.
    virtual bool AddHeader(const std::string& line) = 0;

    // Sends the request with its body; the body must announce its full length. Name
    // resolution, connecting, and the TLS handshake with the sending share no time:
    // each has its own time-out, counted from the end of the one before.
    virtual HttpError SendRequest(const std::vector<uint8_t>& body, size_t totalLength) = 0;
    // Waits for the final reply's status line and headers.
    virtual HttpError ReceiveResponse() = 0;
    virtual uint32_t GetStatusCode() const = 0;
    // False when the reply has no (usable) Content-Length.
    virtual bool GetContentLength(uint32_t& length) const = 0;
    // Schemes offered by the reply's WWW-Authenticate lines; false when none.
    virtual bool QueryAuthSchemes(uint32_t& supported, uint32_t& first) const = 0;

    // Reply bytes readable without blocking.
    virtual size_t QueryDataAvailable() = 0;
    // Reads up to size bytes; read = 0 with HttpError::None at the end of the body.
    virtual HttpError ReadData(uint8_t* buffer, size_t size, size_t& read) = 0;

    virtual void CloseRequest() = 0;
    virtual void Abort() = 0;
    virtual void ClearAbort() = 0;
};

}  // namespace korvane::platform
