#include "camsim/http/HttpServer.h"

#include <httplib.h>

#include <chrono>

namespace camsim {

namespace {

constexpr int kWorkerThreads = 16;
constexpr time_t kSocketTimeoutSeconds = 1;  // keeps Stop() short when a client stalls
constexpr size_t kProviderPiece = 64 * 1024;

RecordedRequest Record(const httplib::Request& request, bool secure)
{
    RecordedRequest recorded;
    recorded.method = request.method;
    recorded.target = request.target;
    for (const auto& [name, value] : request.headers)
        recorded.headers.emplace_back(name, value);
    recorded.body = request.body;
    recorded.secure = secure;
    recorded.clientPort = request.remote_port;
    return recorded;
}

// Sends the text piece by piece without Content-Length; the connection end marks the end.
void SetUnknownLengthBody(httplib::Response& response, std::string text, const std::string& contentType)
{
    auto body = std::make_shared<std::string>(std::move(text));
    response.set_header("Connection", "close");
    response.set_content_provider(contentType, [body](size_t offset, httplib::DataSink& sink) {
        if (offset >= body->size())
            return false;  // closes the connection at once (a finished provider lingers until the keep-alive time-out)
        const size_t piece = std::min(kProviderPiece, body->size() - offset);
        return sink.write(body->data() + offset, piece);
    });
}

std::string HugeText()
{
    static const std::string kLine = "x.filler:=0123456789abcdef0123456789abcdef\r\n";
    std::string text;
    text.reserve(kHugeBodySize);
    while (text.size() < kHugeBodySize)
        text += kLine;
    text.resize(kHugeBodySize);
    return text;
}

}  // namespace

HttpServer::HttpServer(Handler handler, RequestLog& log, const Authenticator& authenticator)
    : m_handler(std::move(handler)), m_log(log), m_authenticator(authenticator)
{
}

HttpServer::~HttpServer() { Stop(); }

bool HttpServer::Start(const std::string& address, uint16_t port, bool tls)
{
    Stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = false;
    }
    m_tls = tls;
    m_server = tls ? MakeTlsServer(m_handshakes) : std::make_unique<httplib::Server>();
    if (!m_server || !m_server->is_valid()) {
        m_server.reset();
        return false;
    }
    m_server->new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    m_server->set_keep_alive_timeout(kSocketTimeoutSeconds);
    m_server->set_read_timeout(kSocketTimeoutSeconds);
    m_server->set_write_timeout(kSocketTimeoutSeconds);
    m_server->set_keep_alive_max_count(1000);
    m_server->set_tcp_nodelay(true);
    auto handle = [this](const httplib::Request& request, httplib::Response& response) {
        const RecordedRequest recorded = Record(request, m_tls);
        m_log.Add(recorded);
        Serve(recorded, response);
    };
    m_server->Get(".*", handle);
    m_server->Post(".*", handle);

    int bound = port;
    if (port == 0)
        bound = m_server->bind_to_any_port(address);
    else if (!m_server->bind_to_port(address, port))
        bound = -1;
    if (bound <= 0) {
        m_server.reset();
        return false;
    }
    m_port = static_cast<uint16_t>(bound);
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!m_server->is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return m_server->is_running();
}

void HttpServer::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_stopChanged.notify_all();
    if (m_server)
        m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
    m_server.reset();
}

void HttpServer::SetFault(HttpFault fault, uint32_t delayMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fault = fault;
    m_faultDelayMs = delayMs;
}

bool HttpServer::WaitForStop(uint32_t ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_stopChanged.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping; });
}

void HttpServer::Serve(const RecordedRequest& request, httplib::Response& response)
{
    HttpFault fault;
    uint32_t delayMs;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        fault = m_fault;
        delayMs = m_faultDelayMs;
    }
    if (fault == HttpFault::AlwaysUnauthorized ||
        !m_authenticator.Accepts(request.method, request.target, request.Header("Authorization"))) {
        response.status = 401;
        for (const std::string& challenge : m_authenticator.Challenges())
            response.headers.emplace("WWW-Authenticate", challenge);
        response.set_content("Unauthorized", "text/plain");
        return;
    }
    switch (fault) {
    case HttpFault::ServerError:
        response.status = 500;
        response.set_content("Internal Server Error", "text/plain");
        return;
    case HttpFault::NotFound:
        response.status = 404;
        response.set_content("Not Found", "text/plain");
        return;
    case HttpFault::NoContent:
        response.status = 204;
        return;
    case HttpFault::NeverReply:
        while (!WaitForStop(1000)) {
        }
        response.status = 503;
        response.set_header("Connection", "close");
        return;
    case HttpFault::SlowReply:
        if (WaitForStop(delayMs))
            return;
        break;
    case HttpFault::HugeBody:
        SetUnknownLengthBody(response, HugeText(), "text/plain");
        return;
    default:
        break;
    }

    const HttpReply reply = m_handler(request);
    response.status = reply.status;
    if (fault == HttpFault::UnknownLength) {
        SetUnknownLengthBody(response, reply.body, reply.contentType);
    } else if (fault == HttpFault::TruncatedBody && reply.body.size() > 1) {
        auto body = std::make_shared<std::string>(reply.body);
        response.set_content_provider(body->size(), reply.contentType,
                                      [body](size_t offset, size_t, httplib::DataSink& sink) {
                                          return offset == 0 && sink.write(body->data(), body->size() / 2);
                                      });
    } else {
        response.set_content(reply.body, reply.contentType);
    }
}

}  // namespace camsim
