#pragma once
// One RTSP 1.0 session over one TCP connection, on a thread of its own:
// DESCRIBE, SETUP of one media section, PLAY, keep-alive with OPTIONS,
// pause and play on request, TEARDOWN. In the interleaved mode it also reads
// the RTP packets sent inside the connection.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/TcpSocket.h"
#include "runtime/BaseThread.h"
#include "runtime/Events.h"
#include "streaming/IRTSPClientUser.h"
#include "streaming/RTSPClientSettings.h"
#include "streaming/RTSPResponseParser.h"

namespace korvane {

class IDriver;

class CBaseRTSPClient : private CBaseThread {
public:
    explicit CBaseRTSPClient(IDriver* driver);
    ~CBaseRTSPClient() override;

    // Connects and starts the session thread; on failure the client is stopped.
    bool Start(const RTSPClientSettings& settings, IRTSPClientUser* user, RTSPTransportMode mode);
    // Ends a blocked read within 100 ms and stops the thread in bounded time.
    void Stop();
    void Pause() { m_pauseEvent.Set(); }
    void Play() { m_playEvent.Set(); }

    // Builds, sends and evaluates one request; true for a final 2xx status.
    bool SendRequest(uint32_t method);
    bool LastRequestSucceeded() const { return m_lastResult; }
    bool IsPaused() const { return m_paused; }
    const CRTSPResponseParser& Response() const { return m_response; }

    std::string BaseUrl() const;
    std::string SetupUrl() const;
    // Keep-alive interval basis in seconds.
    uint32_t SessionTimeoutS() const;

protected:
    bool Run() override;
    virtual std::string BuildRequest(uint32_t method);
    virtual bool RunInterleaved();

    // Takes the settings and mode of the next session without connecting.
    void Configure(const RTSPClientSettings& settings, RTSPTransportMode mode);
    CRTSPResponseParser& MutableResponse() { return m_response; }

private:
    bool Connect();
    bool SendOnce(uint32_t method);
    bool ReadResponse(std::string& response);
    void WaitForEvents();
    void KeepAliveCheck();
    const SdpMediaInfo* SelectedMedia() const;
    std::string TransportHeader() const;
    std::string AuthorizationHeader(uint32_t method) const;
    bool NotifySdpInfo();
    void NotifySessionClosed();

    IDriver* m_driver;
    CRTSPResponseParser m_response;
    std::unique_ptr<platform::TcpSocket> m_socket;
    uint64_t m_lastKeepAlive = 0;  // file time; 0: none yet
    IRTSPClientUser* m_user = nullptr;
    std::atomic<bool> m_lastResult{false};
    RTSPClientSettings m_settings;
    RTSPTransportMode m_mode = RTSPTransportMode::UDP;
    CEvent m_pauseEvent;
    CEvent m_playEvent;
    std::atomic<bool> m_paused{false};  // survives Stop and Start
};

}  // namespace korvane
