#include "streaming/RTSPStreamParser.h"

#include <algorithm>
#include <cstring>

#include "streaming/IRTSPClientUser.h"
#include "streaming/RTPPacket.h"

namespace korvane {

namespace {
const uint8_t kSyncPattern[2] = {'$', 0x00};
}

uint8_t* CRTSPStreamParser::ReceiveSpace(size_t size)
{
    if (m_window.size() - m_end < size) {
        // Only the unfinished packet's payload is kept; move it to the front.
        const size_t kept = m_end - m_payloadStart;
        if (kept > 0)
            std::memmove(m_window.data(), m_window.data() + m_payloadStart, kept);
        m_payloadStart = 0;
        m_end = kept;
        if (m_window.size() < kept + size)
            m_window.resize(std::max(kWindowSize, kept + size));
    }
    return m_window.data() + m_end;
}

void CRTSPStreamParser::Process(size_t length)
{
    size_t position = m_end;
    m_end = std::min(m_end + length, m_window.size());
    while (position < m_end) {
        if (m_missing > 0) {
            if (m_end - m_payloadStart < m_missing)
                return;  // the rest of the packet comes with the next read
            position = m_payloadStart + m_missing;
            Deliver(m_window.data() + m_payloadStart, m_missing);
            continue;
        }
        if (Consume(m_window[position]))
            ++position;
        m_payloadStart = position;
    }
    if (m_missing == 0)
        m_payloadStart = m_end = 0;  // nothing to keep: the next read starts at the front
}

bool CRTSPStreamParser::Consume(uint8_t byte)
{
    if (m_patternMatched < sizeof kSyncPattern) {
        if (byte == kSyncPattern[m_patternMatched]) {
            ++m_patternMatched;
            return true;
        }
        const bool retry = m_patternMatched > 0;
        m_patternMatched = 0;
        return !retry;
    }
    m_lengthBytes[m_lengthCollected++] = byte;
    if (m_lengthCollected < 2)
        return true;
    m_missing = m_lengthBytes[0] * 256u + m_lengthBytes[1];
    if (m_missing == 0) {
        ResetState();  // framing error: look for the pattern again from this byte
        return false;
    }
    return true;
}

void CRTSPStreamParser::Deliver(const uint8_t* frame, size_t length)
{
    try {
        CRTPPacket packet;
        if (packet.Parse(frame, length) && m_receiver != nullptr)
            m_receiver->InterleavedPacketReceived(packet);
    } catch (...) {
    }
    ResetState();
}

void CRTSPStreamParser::ResetState()
{
    m_patternMatched = 0;
    m_lengthCollected = 0;
    m_missing = 0;
}

}  // namespace korvane
