#include "camsim/rtsp/RtpTrack.h"

#include <chrono>

#include "camsim/rtsp/RtspRecorder.h"

namespace camsim {

namespace {

constexpr uint64_t kNtpUnixOffset = 2208988800u;

void PutWord(std::vector<uint8_t>& bytes, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

RtpTrack::RtpTrack(std::unique_ptr<IMediaSource> source, uint32_t ssrc)
    : m_source(std::move(source)), m_ssrc(ssrc), m_sequence(static_cast<uint16_t>(ssrc * 7)), m_timestamp(ssrc * 13)
{
}

void RtpTrack::SendFrame(RtspFaults& faults, RtspRecorder& recorder)
{
    std::vector<RtpPayload> payloads;
    uint32_t step = 0;
    m_source->NextFrame(payloads, step);
    for (const RtpPayload& payload : payloads) {
        std::vector<uint8_t> packet{0x80, static_cast<uint8_t>((payload.marker ? 0x80 : 0) | m_source->PayloadType()),
                                    static_cast<uint8_t>(m_sequence >> 8), static_cast<uint8_t>(m_sequence)};
        PutWord(packet, m_timestamp);
        PutWord(packet, m_ssrc);
        packet.insert(packet.end(), payload.bytes.begin(), payload.bytes.end());
        ++m_sequence;
        SendPacket(std::move(packet), faults, recorder);
    }
    if (m_framePeriodMs != 0)
        step = m_source->ClockRate() / 1000 * m_framePeriodMs;
    m_timestamp += step;
}

void RtpTrack::SendPacket(std::vector<uint8_t> packet, RtspFaults& faults, RtspRecorder& recorder)
{
    ++m_packetCount;
    const uint32_t dropEvery = faults.dropEvery;
    if (dropEvery != 0 && m_packetCount % dropEvery == 0)
        return;
    if (faults.reorder && m_held.empty()) {
        m_held = std::move(packet);
        return;
    }
    Transmit(packet, recorder);
    if (faults.duplicate)
        Transmit(packet, recorder);
    if (!m_held.empty()) {
        Transmit(m_held, recorder);
        m_held.clear();
    }
}

void RtpTrack::Transmit(const std::vector<uint8_t>& packet, RtspRecorder& recorder)
{
    // Only what went out counts as sent.
    if (!m_transport || !m_transport->SendRtp(packet))
        return;
    m_octetCount += static_cast<uint32_t>(packet.size() - 12);
    recorder.CountRtpPacket();
    if ((packet[1] & 0x80) != 0)
        recorder.CountMarkedRtpPacket();
}

void RtpTrack::SendSenderReport(RtspRecorder& recorder)
{
    if (!m_transport)
        return;
    using namespace std::chrono;
    const auto sinceEpoch = system_clock::now().time_since_epoch();
    const uint64_t micros = static_cast<uint64_t>(duration_cast<microseconds>(sinceEpoch).count());
    const uint32_t seconds = static_cast<uint32_t>(micros / 1000000 + kNtpUnixOffset);
    const uint32_t fraction = static_cast<uint32_t>(((micros % 1000000) << 32) / 1000000);
    std::vector<uint8_t> report{0x80, 200, 0, 6};
    PutWord(report, m_ssrc);
    PutWord(report, seconds);
    PutWord(report, fraction);
    PutWord(report, m_timestamp);
    PutWord(report, m_packetCount);
    PutWord(report, m_octetCount);
    m_transport->SendRtcp(report);
    recorder.CountSenderReport();
}

void RtpTrack::SendBye()
{
    if (!m_transport)
        return;
    std::vector<uint8_t> bye{0x81, 203, 0, 1};
    PutWord(bye, m_ssrc);
    m_transport->SendRtcp(bye);
}

void RtpTrack::CollectReceiverReports(RtspRecorder& recorder)
{
    if (!m_transport)
        return;
    std::vector<std::vector<uint8_t>> reports;
    m_transport->CollectRtcp(reports);
    for (const auto& report : reports)
        recorder.AddReceiverReport(report);
}

}  // namespace camsim
