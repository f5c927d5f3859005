#include "streaming/RTCPHandler.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/Process.h"
#include "platform/Time.h"

namespace korvane {

namespace {

constexpr uint8_t kTypeSenderReport = 200;
constexpr uint8_t kTypeReceiverReport = 201;
constexpr uint8_t kTypeBye = 203;
constexpr size_t kCommonHeaderBytes = 4;
constexpr size_t kSenderReportBytes = 28;  // header, SSRC and sender information

CRTCPHandler::Bytes4 BigEndian(uint32_t value)
{
    return {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value)};
}

CRTCPHandler::Bytes4 CreateSsrc()
{
    std::array<uint8_t, 16> guid{};
    const std::array<uint8_t, 16> zero{};
    uint32_t value;
    if (platform::CreateGuid(guid) && guid != zero) {
        std::memcpy(&value, guid.data(), sizeof value);
    } else {
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        value = static_cast<uint32_t>(std::rand());
    }
    return BigEndian(value);
}

void Put(uint8_t* target, const CRTCPHandler::Bytes4& bytes)
{
    std::memcpy(target, bytes.data(), bytes.size());
}

}  // namespace

CRTCPHandler::CRTCPHandler(IDebugMessage* owner) : CBaseThread(owner), m_client(owner), m_ownSsrc(CreateSsrc())
{
    m_client.SetSelectTimeout(kSelectTimeoutMs);
    m_client.SetReceiveSize(kReceiveSize);
}

CRTCPHandler::~CRTCPHandler()
{
    Stop();
}

bool CRTCPHandler::StartUnicast(uint32_t cameraAddress, uint16_t port)
{
    return StartWith(cameraAddress, [this, port] { return m_client.OpenUnicast(this, port); });
}

bool CRTCPHandler::StartMulticast(uint32_t cameraAddress, const char* groupAddress, uint16_t port)
{
    return StartWith(cameraAddress,
                     [this, groupAddress, port] { return m_client.OpenMulticast(this, groupAddress, port); });
}

template <typename OpenCall>
bool CRTCPHandler::StartWith(uint32_t cameraAddress, OpenCall open)
{
    if (m_client.IsOpen() || cameraAddress == 0)
        return false;
    // Known before the first datagram can arrive.
    m_cameraAddress = cameraAddress;
    if (!open())
        return false;
    m_client.SetSelectTimeout(kSelectTimeoutMs);
    m_reportDue.Reset();
    if (!Start("RTCP Handler Thread")) {
        m_client.Close();
        return false;
    }
    return true;
}

void CRTCPHandler::Stop()
{
    m_stopEvent.Set();
    SendBye();
    m_client.Close();
    {
        CAutoLock guard(m_lock);
        m_senderReportSeen = false;
    }
    StopThread(kStopLimitMs);
}

void CRTCPHandler::TrackSequence(uint16_t sequenceNumber)
{
    CAutoLock guard(m_lock);
    m_sequence.Update(sequenceNumber);
}

void CRTCPHandler::DataReceived(IRTPClient*, platform::ReceivedDatagram* datagrams, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        HandleCompoundPacket(datagrams[i].sender, datagrams[i].buffer.Data(), datagrams[i].length);
}

void CRTCPHandler::HandleCompoundPacket(const platform::IPv4Endpoint& sender, const uint8_t* data, size_t length)
{
    if (sender.address != m_cameraAddress || length < kCommonHeaderBytes)
        return;
    size_t offset = 0;
    while (length - offset >= kCommonHeaderBytes) {
        const uint8_t* packet = data + offset;
        const size_t packetLength = kCommonHeaderBytes + 4u * ((packet[2] << 8) | packet[3]);
        if (packetLength > length - offset)
            break;
        if (packet[1] == kTypeSenderReport && packetLength >= kSenderReportBytes) {
            HandleSenderReport(sender, packet);
        } else if (packet[1] == kTypeBye && HandleBye() && m_user != nullptr) {
            try {
                m_user->ByeReceived();
            } catch (...) {
            }
        }
        offset += packetLength;
    }
}

void CRTCPHandler::HandleSenderReport(const platform::IPv4Endpoint& sender, const uint8_t* packet)
{
    CAutoLock guard(m_lock);
    if (!m_senderReportSeen) {
        m_senderReportSource = sender;
        m_senderReportSeen = true;
    }
    std::memcpy(m_senderSsrc.data(), packet + 4, m_senderSsrc.size());
    // The middle 32 bits of the NTP time stamp.
    std::memcpy(m_lastSenderReport.data(), packet + 10, m_lastSenderReport.size());
    m_senderReportTimeMs = platform::TickCountMs();
    m_reportDue.Set();
}

bool CRTCPHandler::HandleBye()
{
    CAutoLock guard(m_lock);
    const bool reported = m_senderReportSeen;
    m_senderReportSeen = false;
    return reported;
}

bool CRTCPHandler::Run()
{
    CEvent* const events[] = {&m_stopEvent, &m_reportDue};
    for (;;) {
        const int signalled = WaitAny(events, 2, kReportWaitMs);
        if (signalled == 0)
            return true;
        if (signalled == 1) {
            m_reportDue.Reset();
            SendReceiverReport();
        }
    }
}

void CRTCPHandler::SendReceiverReport()
{
    std::array<uint8_t, 32> report{};
    platform::IPv4Endpoint target;
    {
        CAutoLock guard(m_lock);
        if (!m_senderReportSeen)
            return;
        target = m_senderReportSource;
        report[0] = 0x81;  // version 2, one report block
        report[1] = kTypeReceiverReport;
        report[3] = 7;  // length in 32-bit words, minus one
        Put(&report[4], m_ownSsrc);
        Put(&report[8], m_senderSsrc);
        // Bytes 12-15 (losses) and 20-23 (jitter) stay 0: not measured.
        Put(&report[16], BigEndian(m_sequence.ExtendedHighest()));
        Put(&report[24], m_lastSenderReport);
        // Delay since the last sender report in 1/65536 s.
        const uint64_t elapsedMs = platform::TickCountMs() - m_senderReportTimeMs;
        Put(&report[28], BigEndian(static_cast<uint32_t>(elapsedMs * 65536 / 1000)));
    }
    if (!m_client.SendTo(target, report.data(), report.size())) {
        CAutoLock guard(m_lock);
        m_senderReportSeen = false;
    }
}

void CRTCPHandler::SendBye()
{
    std::array<uint8_t, 8> bye{0x81, kTypeBye, 0, 1};
    platform::IPv4Endpoint target;
    {
        CAutoLock guard(m_lock);
        if (!m_senderReportSeen)
            return;
        target = m_senderReportSource;
        Put(&bye[4], m_ownSsrc);
    }
    m_client.SendTo(target, bye.data(), bye.size());
}

}  // namespace korvane
