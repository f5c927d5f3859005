#pragma once
// One media track of a simulated RTSP session: wraps the media source's
// payloads in RTP headers, applies the packet faults and sends RTCP sender
// reports and BYE through the transport chosen at SETUP.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "camsim/media/MediaSource.h"

namespace camsim {

class RtspRecorder;

struct RtspFaults {
    std::atomic<uint32_t> dropEvery{0};  // drop every n-th RTP packet (0: none)
    std::atomic<bool> reorder{false};    // swap neighbouring RTP packets
    std::atomic<bool> duplicate{false};  // send every RTP packet twice
    std::atomic<bool> stopSending{false};
    std::atomic<uint32_t> responseDelayMs{0};  // before every RTSP response
};

// Where a track's RTP and RTCP go, and where receiver reports come from.
class IRtpTransport {
public:
    virtual ~IRtpTransport() = default;
    // False when the packet did not go out whole.
    virtual bool SendRtp(const std::vector<uint8_t>& packet) = 0;
    virtual void SendRtcp(const std::vector<uint8_t>& packet) = 0;
    // Receiver reports that arrived since the last call.
    virtual void CollectRtcp(std::vector<std::vector<uint8_t>>& reports) = 0;
};

class RtpTrack {
public:
    RtpTrack(std::unique_ptr<IMediaSource> source, uint32_t ssrc);

    IMediaSource& Source() { return *m_source; }
    // 0: the source's own period.
    void SetFramePeriodMs(uint32_t periodMs) { m_framePeriodMs = periodMs; }
    uint32_t FramePeriodMs() const { return m_framePeriodMs != 0 ? m_framePeriodMs : m_source->FramePeriodMs(); }
    void SetTransport(std::unique_ptr<IRtpTransport> transport) { m_transport = std::move(transport); }
    bool HasTransport() const { return m_transport != nullptr; }
    uint16_t NextSequence() const { return m_sequence; }
    uint32_t Timestamp() const { return m_timestamp; }

    void SendFrame(RtspFaults& faults, RtspRecorder& recorder);
    void SendSenderReport(RtspRecorder& recorder);
    void SendBye();
    void CollectReceiverReports(RtspRecorder& recorder);

private:
    void SendPacket(std::vector<uint8_t> packet, RtspFaults& faults, RtspRecorder& recorder);
    void Transmit(const std::vector<uint8_t>& packet, RtspRecorder& recorder);

    std::unique_ptr<IMediaSource> m_source;
    std::unique_ptr<IRtpTransport> m_transport;
    uint32_t m_ssrc;
    uint32_t m_framePeriodMs = 0;
    uint16_t m_sequence;
    uint32_t m_timestamp;
    uint32_t m_packetCount = 0;  // counted for drop faults and sender reports
    uint32_t m_octetCount = 0;
    std::vector<uint8_t> m_held;  // reorder fault: sent after the next packet
};

}  // namespace camsim
