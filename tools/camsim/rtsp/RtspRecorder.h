#pragma once
// What the simulated RTSP server saw and sent, for tests to inspect.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace camsim {

class RtspRecorder {
public:
    void AddRequest(const std::string& text);
    void AddReceiverReport(const std::vector<uint8_t>& report);
    void CountRtpPacket();
    void CountMarkedRtpPacket();  // the last packet of a video frame
    void CountSenderReport();
    void CountExpiredSession();

    std::vector<std::string> Requests() const;
    std::vector<std::vector<uint8_t>> ReceiverReports() const;
    size_t RtpPacketsSent() const;
    size_t MarkedRtpPacketsSent() const;
    size_t SenderReportsSent() const;
    size_t SessionsExpired() const;

    // Each waits until the count is reached; false on time-out.
    bool WaitForRequests(size_t count, uint32_t timeoutMs) const;
    bool WaitForReceiverReports(size_t count, uint32_t timeoutMs) const;
    bool WaitForRtpPackets(size_t count, uint32_t timeoutMs) const;

private:
    bool WaitUntil(const std::function<bool()>& reached, uint32_t timeoutMs) const;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_requests;
    std::vector<std::vector<uint8_t>> m_receiverReports;
    size_t m_rtpPackets = 0;
    size_t m_markedRtpPackets = 0;
    size_t m_senderReports = 0;
    size_t m_expiredSessions = 0;
};

}  // namespace camsim
