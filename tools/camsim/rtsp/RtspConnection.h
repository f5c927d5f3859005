#pragma once
// One client connection of the simulated RTSP server: reads requests,
// answers them and streams the set-up tracks while playing.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camsim/rtsp/RtpTrack.h"
#include "camsim/rtsp/RtspRequest.h"
#include "camsim/rtsp/RtspServerOptions.h"
#include "platform/TcpSocket.h"

namespace camsim {

class RtspRecorder;

class RtspConnection {
public:
    // `baseUrl` is the Content-Base of the server, ending with '/'.
    RtspConnection(korvane::platform::TcpSocket socket, const RtspServerOptions& options, std::string baseUrl,
                   RtspFaults& faults, RtspRecorder& recorder);
    ~RtspConnection();
    RtspConnection(const RtspConnection&) = delete;
    RtspConnection& operator=(const RtspConnection&) = delete;

    void Start();
    // Drops the connection at once (the fault, and the end of the server).
    void Close();
    void SendBye();
    bool Finished() const { return m_finished; }

private:
    void ReadLoop();
    void StreamLoop();
    // Takes one request or interleaved frame off the buffer; false when incomplete.
    bool ExtractMessage(std::string& buffer);
    void Handle(const RtspRequest& request);
    bool Authorised(const RtspRequest& request) const;
    std::string Challenge() const;
    bool SessionMatches(const RtspRequest& request, bool required) const;
    std::string Description();
    // Serves the plan's tracks and multicast group from now on.
    void UsePlan(const RtspStreamPlan& plan);
    // Asks the server's stream resolver about the URL's path; false: no such stream.
    bool ResolveStream(const std::string& url);
    void HandleSetup(const RtspRequest& request, const std::string& cseq);
    void Reply(const std::string& cseq, const std::string& status, const std::string& headers = "",
               const std::string& body = "");
    bool SendFrame(uint8_t channel, const std::vector<uint8_t>& payload);
    void ExpireIdleSession(uint64_t now);  // caller holds m_tracksMutex
    bool SleepUnlessStopped(uint32_t ms);

    korvane::platform::TcpSocket m_socket;
    const RtspServerOptions m_options;
    std::string m_baseUrl;  // the server's, or the described stream's URL
    RtspFaults& m_faults;
    RtspRecorder& m_recorder;

    std::mutex m_sendMutex;  // socket writes: responses and interleaved frames
    std::mutex m_tracksMutex;
    std::vector<std::unique_ptr<RtpTrack>> m_tracks;
    std::string m_multicastGroup;  // empty: unicast only
    uint16_t m_multicastPort = 0;
    std::atomic<bool> m_playing{false};
    std::atomic<bool> m_sessionOpen{false};  // from SETUP to TEARDOWN or expiry
    std::atomic<uint64_t> m_lastRequestMs{0};

    std::mutex m_stopMutex;
    std::condition_variable m_stopChanged;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::thread m_reader;
    std::thread m_streamer;
};

}  // namespace camsim
