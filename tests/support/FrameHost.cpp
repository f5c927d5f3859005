#include "support/FrameHost.h"

#include "audio/AudioFormat.h"
#include "support/WaitUntil.h"

namespace korvane::test {

CRecordingFrame::CRecordingFrame(uint32_t fourCC, uint32_t bufferSize, std::string streamName, bool withBuffer)
    : m_buffer(bufferSize), m_withBuffer(withBuffer)
{
    m_record.fourCC = fourCC;
    m_record.streamName = std::move(streamName);
}

DeliveredFrame CRecordingFrame::Snapshot() const
{
    DeliveredFrame frame = m_record;
    const size_t size = std::min<size_t>(m_dataSize, m_buffer.size());
    frame.bytes.assign(m_buffer.begin(), m_buffer.begin() + size);
    return frame;
}

void CRecordingAudioData::SetData(const uint8_t* data, uint32_t size)
{
    m_record.bytes.assign(data, data + size);
    m_record.calls.push_back("SetData");
}

void CRecordingAudioData::SetFormat(uint32_t sampleRate, uint8_t bitsPerSample, uint8_t stereo)
{
    m_record.sampleRate = sampleRate;
    m_record.bitsPerSample = bitsPerSample;
    m_record.stereo = stereo;
    m_record.calls.push_back("SetFormat");
}

ipcapture::IHostFrame* CFrameHost::AllocateFrame(uint32_t fourCC, uint32_t size, const char* streamName)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastAllocationSize = size;
    if (m_refuseAllocations)
        return nullptr;
    ++m_allocations;
    m_live.push_back(
        std::make_unique<CRecordingFrame>(fourCC, size, streamName ? streamName : "", !m_framesWithoutBuffer));
    return m_live.back().get();
}

ipcapture::IAudioData* CFrameHost::AllocateAudioFrame(uint32_t, uint32_t, const char* driverName)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_audioDriverName = driverName != nullptr ? driverName : "";
    m_liveAudio.push_back(std::make_unique<CRecordingAudioData>());
    return m_liveAudio.back().get();
}

bool CFrameHost::OnFrame(ipcapture::IHostFrame* frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_accept)
        return false;
    ++m_frameCount;
    if (m_keepFrames)
        m_frames.push_back(static_cast<CRecordingFrame*>(frame)->Snapshot());
    return true;
}

bool CFrameHost::OnAudioFrame(ipcapture::IAudioData* frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_accept)
        return false;
    m_audioFrames.push_back(static_cast<CRecordingAudioData*>(frame)->Record());
    return true;
}

CRecordingAudioData* CFrameHost::MakeAudioPacket(const std::vector<uint8_t>& bytes)
{
    auto packet = std::make_unique<CRecordingAudioData>();
    const AudioFormat format = AudioFormat::MuLaw8k();
    packet->SetFourCC(format.fourCC);
    packet->SetFormat(format.sampleRate, format.bitsPerSample, format.stereo);
    packet->SetBitRate(format.bitRate);
    packet->SetChannelId(1);
    if (!bytes.empty())
        packet->SetData(bytes.data(), static_cast<uint32_t>(bytes.size()));
    std::lock_guard<std::mutex> lock(m_mutex);
    m_liveAudio.push_back(std::move(packet));
    return m_liveAudio.back().get();
}

std::vector<DeliveredFrame> CFrameHost::FramesOf(const std::string& streamName) const
{
    std::vector<DeliveredFrame> selected;
    for (DeliveredFrame& frame : Frames())
        if (frame.streamName == streamName)
            selected.push_back(std::move(frame));
    return selected;
}

bool CFrameHost::WaitForFrames(const std::string& streamName, size_t count, uint32_t timeoutMs) const
{
    return WaitUntil([&] { return FramesOf(streamName).size() >= count; }, timeoutMs);
}

}  // namespace korvane::test
