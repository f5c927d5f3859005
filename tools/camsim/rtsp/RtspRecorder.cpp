#include "camsim/rtsp/RtspRecorder.h"

namespace camsim {

void RtspRecorder::AddRequest(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(text);
    m_changed.notify_all();
}

void RtspRecorder::AddReceiverReport(const std::vector<uint8_t>& report)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_receiverReports.push_back(report);
    m_changed.notify_all();
}

void RtspRecorder::CountRtpPacket()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_rtpPackets;
    m_changed.notify_all();
}

void RtspRecorder::CountMarkedRtpPacket()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_markedRtpPackets;
}

void RtspRecorder::CountSenderReport()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_senderReports;
}

void RtspRecorder::CountExpiredSession()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_expiredSessions;
}

size_t RtspRecorder::MarkedRtpPacketsSent() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_markedRtpPackets;
}

size_t RtspRecorder::SessionsExpired() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_expiredSessions;
}

std::vector<std::string> RtspRecorder::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::vector<std::vector<uint8_t>> RtspRecorder::ReceiverReports() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_receiverReports;
}

size_t RtspRecorder::RtpPacketsSent() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rtpPackets;
}

size_t RtspRecorder::SenderReportsSent() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_senderReports;
}

bool RtspRecorder::WaitForRequests(size_t count, uint32_t timeoutMs) const
{
    return WaitUntil([&] { return m_requests.size() >= count; }, timeoutMs);
}

bool RtspRecorder::WaitForReceiverReports(size_t count, uint32_t timeoutMs) const
{
    return WaitUntil([&] { return m_receiverReports.size() >= count; }, timeoutMs);
}

bool RtspRecorder::WaitForRtpPackets(size_t count, uint32_t timeoutMs) const
{
    return WaitUntil([&] { return m_rtpPackets >= count; }, timeoutMs);
}

bool RtspRecorder::WaitUntil(const std::function<bool()>& reached, uint32_t timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), reached);
}

}  // namespace camsim
