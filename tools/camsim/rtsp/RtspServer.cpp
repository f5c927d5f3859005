#include "camsim/rtsp/RtspServer.h"

#include <algorithm>

#include "camsim/rtsp/RtspConnection.h"
#include "platform/Network.h"
#include "runtime/StringFormat.h"

namespace camsim {

namespace {
constexpr uint32_t kAcceptPollMs = 20;
}

RtspServer::RtspServer(RtspServerOptions options) : m_options(std::move(options)) {}

RtspServer::~RtspServer()
{
    Stop();
}

bool RtspServer::Start()
{
    if (m_acceptor.joinable())
        return false;
    if (!m_listener.Listen(korvane::platform::ParseIPv4(m_options.address), m_options.port))
        return false;
    m_port = m_listener.LocalPort();
    // Started again after Stop, the server comes back on the same port.
    m_options.port = m_port;
    m_stop = false;
    m_acceptor = std::thread([this] { AcceptLoop(); });
    return true;
}

void RtspServer::Stop()
{
    m_stop = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    m_listener.Close();
    std::lock_guard<std::mutex> lock(m_connectionsMutex);
    m_connections.clear();
}

std::string RtspServer::BaseUrl() const
{
    return korvane::FormatString("rtsp://%s:%u/%s/", m_options.address.c_str(), m_port, m_options.path.c_str());
}

void RtspServer::SendBye()
{
    std::lock_guard<std::mutex> lock(m_connectionsMutex);
    for (auto& connection : m_connections)
        connection->SendBye();
}

void RtspServer::CloseConnections()
{
    std::lock_guard<std::mutex> lock(m_connectionsMutex);
    m_connections.clear();
}

void RtspServer::AcceptLoop()
{
    while (!m_stop) {
        korvane::platform::TcpSocket accepted = m_listener.Accept(kAcceptPollMs);
        std::lock_guard<std::mutex> lock(m_connectionsMutex);
        m_connections.erase(std::remove_if(m_connections.begin(), m_connections.end(),
                                           [](const auto& connection) { return connection->Finished(); }),
                            m_connections.end());
        if (!accepted.IsOpen())
            continue;
        m_connections.push_back(
            std::make_unique<RtspConnection>(std::move(accepted), m_options, BaseUrl(), m_faults, m_recorder));
        m_connections.back()->Start();
    }
}

}  // namespace camsim
