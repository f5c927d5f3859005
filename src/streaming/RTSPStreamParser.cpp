#include "streaming/RTSPStreamParser.h"

#include "streaming/IRTSPClientUser.h"
#include "streaming/RTPPacket.h"

namespace korvane {

namespace {
const uint8_t kSyncPattern[2] = {'$', 0x00};
}

void CRTSPStreamParser::Process(const uint8_t* bytes, size_t length)
{
    size_t position = 0;
    while (position < length) {
        if (m_missing > 0) {
            const size_t available = length - position;
            const size_t take = available < static_cast<size_t>(m_missing) ? available : static_cast<size_t>(m_missing);
            if (m_payload.empty() && take == static_cast<size_t>(m_missing)) {
                Deliver(bytes + position, take);  // the whole frame is in this buffer: no copy
            } else {
                if (m_payload.empty())
                    m_payload.reserve(static_cast<size_t>(m_missing));
                m_payload.insert(m_payload.end(), bytes + position, bytes + position + take);
                m_missing -= static_cast<int32_t>(take);
                if (m_missing == 0)
                    Deliver(m_payload.data(), m_payload.size());
            }
            position += take;
            continue;
        }
        if (Consume(bytes[position]))
            ++position;
    }
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
    m_missing = m_lengthBytes[0] * 256 + m_lengthBytes[1];
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
    m_payload.clear();
}

}  // namespace korvane
