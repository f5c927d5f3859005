#pragma once
// The simulator's HTTP/1.1 (or HTTPS) server: records every request, checks credentials,
// applies the fault switch and hands the rest to the camera's request handler.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "camsim/http/Authenticator.h"
#include "camsim/http/RequestLog.h"
#include "camsim/http/TlsServer.h"

namespace httplib {
class Server;
struct Response;
}

namespace camsim {

struct HttpReply {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
};

enum class HttpFault {
    None,
    AlwaysUnauthorized,  // 401 whatever the credentials
    ServerError,         // 500 with a short body
    NotFound,            // 404
    NoContent,           // 204
    TruncatedBody,       // announces the whole reply, sends half of it and closes
    SlowReply,           // answers after the fault delay
    NeverReply,          // reads the request and never answers
    HugeBody,            // 2 MiB without Content-Length, ended by closing
    UnknownLength,       // the normal reply without Content-Length, ended by closing
};

constexpr size_t kHugeBodySize = 2 * 1024 * 1024;

class HttpServer {
public:
    using Handler = std::function<HttpReply(const RecordedRequest&)>;

    HttpServer(Handler handler, RequestLog& log, const Authenticator& authenticator);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // port 0 picks a free port.
    bool Start(const std::string& address, uint16_t port, bool tls);
    void Stop();
    uint16_t Port() const { return m_port; }
    bool IsSecure() const { return m_tls; }

    void SetFault(HttpFault fault, uint32_t delayMs = 0);
    // TLS handshakes started but not completed: plain HTTP sent to the HTTPS port, for example.
    size_t FailedHandshakes() const { return m_handshakes.started - m_handshakes.done; }

private:
    bool WaitForStop(uint32_t ms);
    void Serve(const RecordedRequest& request, httplib::Response& response);

    Handler m_handler;
    RequestLog& m_log;
    const Authenticator& m_authenticator;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    uint16_t m_port = 0;
    bool m_tls = false;

    std::mutex m_mutex;
    std::condition_variable m_stopChanged;
    bool m_stopping = false;
    HttpFault m_fault = HttpFault::None;
    uint32_t m_faultDelayMs = 0;
    TlsHandshakeCount m_handshakes;
};

}  // namespace camsim
