#include "audio/BaseRTPAudioParser.h"

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "streaming/RTPPacket.h"

namespace korvane {

CBaseRTPAudioParser::CBaseRTPAudioParser(IDriver* driver, uint32_t audioId) : m_driver(driver), m_audioId(audioId) {}

void CBaseRTPAudioParser::CollectPacket(const CRTPPacket& packet)
{
    try {
        if (!AcceptSequence(packet.m_sequenceNumber))
            Reset();  // the packet after the gap starts the next block
        m_lastSequence = packet.m_sequenceNumber;
        AppendPayload(packet.Payload(), packet.PayloadLength());
        if (!m_buffer.empty() && m_buffer.size() >= m_format.sampleRate) {
            ProcessAudioFrame();
            m_buffer.clear();
        }
    } catch (...) {
    }
}

bool CBaseRTPAudioParser::AcceptSequence(uint16_t sequence)
{
    if (m_firstPacket) {
        m_firstPacket = false;
        return true;
    }
    return sequence == static_cast<uint16_t>(m_lastSequence + 1);
}

void CBaseRTPAudioParser::Reset()
{
    m_firstPacket = true;
    m_lastSequence = 0;
    m_buffer.clear();
}

bool CBaseRTPAudioParser::AppendPayload(const uint8_t* data, uint32_t size)
{
    if (data == nullptr || size < 2)
        return false;
    m_buffer.insert(m_buffer.end(), data, data + size);
    return true;
}

void CBaseRTPAudioParser::ProcessAudioFrame()
{
    ipcapture::IFrameAllocator* allocator = m_driver->GetHostContext();
    if (allocator == nullptr || m_buffer.empty())
        return;
    const uint32_t size = static_cast<uint32_t>(m_buffer.size());
    ipcapture::IAudioData* frame = allocator->AllocateAudioFrame(m_format.fourCC, size, m_driver->GetDriverName());
    if (frame == nullptr) {
        m_driver->DebugMessage(kLogError, "%s: Unable to allocate  memory for audio frame!",
                               "korvane::CBaseRTPAudioParser::ProcessAudioFrame");
        return;
    }
    bool taken = false;
    try {
        FillFrame(*frame);
        taken = m_client != nullptr && m_client->OnAudioFrame(frame);
    } catch (...) {
    }
    if (!taken) {
        const DEVICE_INFO& device = *m_driver->GetDeviceInfo();
        m_driver->DebugMessage(kLogError, "%s: Audio-frame processing error, camera %s:%u",
                               "korvane::CBaseRTPAudioParser::ProcessAudioFrame", device.address.c_str(), device.port);
        Reset();
    }
    try {
        allocator->ReleaseAudioFrame(frame);
    } catch (...) {
    }
}

void CBaseRTPAudioParser::FillFrame(ipcapture::IAudioData& frame)
{
    frame.SetFourCC(m_format.fourCC);
    frame.SetData(m_buffer.data(), static_cast<uint32_t>(m_buffer.size()));
    frame.SetFormat(m_format.sampleRate, m_format.bitsPerSample, m_format.stereo);
    frame.SetBitRate(m_format.bitRate);
    frame.SetChannelId(static_cast<uint8_t>(m_audioId & 0xFF));
    frame.Commit();
}

}  // namespace korvane
