#pragma once
// The simulated camera's RTSP 1.0 server on an ephemeral loopback port:
// DESCRIBE, SETUP (UDP unicast, multicast, interleaved), PLAY, PAUSE,
// OPTIONS, TEARDOWN, Basic and Digest challenges, RTCP sender reports and
// BYE; records every request and receiver report; injects faults.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camsim/rtsp/RtpTrack.h"
#include "camsim/rtsp/RtspRecorder.h"
#include "camsim/rtsp/RtspServerOptions.h"
#include "platform/TcpSocket.h"

namespace camsim {

class RtspConnection;

class RtspServer {
public:
    explicit RtspServer(RtspServerOptions options = RtspServerOptions());
    ~RtspServer();
    RtspServer(const RtspServer&) = delete;
    RtspServer& operator=(const RtspServer&) = delete;

    bool Start();
    void Stop();
    uint16_t Port() const { return m_port; }
    // The Content-Base it announces: rtsp://<address>:<port>/<path>/
    std::string BaseUrl() const;

    RtspServerOptions& Options() { return m_options; }  // change before Start
    RtspFaults& Faults() { return m_faults; }
    const RtspRecorder& Recorder() const { return m_recorder; }

    void SendBye();
    void CloseConnections();

private:
    void AcceptLoop();

    RtspServerOptions m_options;
    RtspFaults m_faults;
    RtspRecorder m_recorder;
    korvane::platform::TcpSocket m_listener;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptor;
    std::mutex m_connectionsMutex;
    std::vector<std::unique_ptr<RtspConnection>> m_connections;
};

}  // namespace camsim
