#include "support/FrameHost.h"

#include <algorithm>

#include "audio/AudioFormat.h"

namespace korvane::test {

CRecordingFrame::CRecordingFrame(uint32_t fourCC, uint32_t bufferSize, std::string streamName, bool withBuffer)
    : m_buffer(bufferSize), m_withBuffer(withBuffer)
{
    m_record.fourCC = fourCC;
    m_record.streamName = std::move(streamName);
}

void CRecordingFrame::SetDataSize(uint32_t size)
{
    m_dataSize = size;
    m_record.calls.push_back("SetDataSize");
}

void CRecordingFrame::SetTime(const SYSTEMTIME* time)
{
    m_record.time = *time;
    m_record.calls.push_back("SetTime");
}

void CRecordingFrame::SetFourCC(uint32_t fourCC)
{
    m_record.fourCC = fourCC;
    m_record.calls.push_back("SetFourCC");
}

void CRecordingFrame::SetHeight(uint32_t height)
{
    m_record.height = height;
    m_record.calls.push_back("SetHeight");
}

void CRecordingFrame::SetWidth(uint32_t width)
{
    m_record.width = width;
    m_record.calls.push_back("SetWidth");
}

void CRecordingFrame::SetSizeClass(uint32_t sizeClass)
{
    m_record.sizeClass = sizeClass;
    m_record.calls.push_back("SetSizeClass");
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

void CRecordingAudioData::SetFourCC(uint32_t fourCC)
{
    m_record.fourCC = fourCC;
    m_record.calls.push_back("SetFourCC");
}

void CRecordingAudioData::SetBitRate(uint32_t bitRate)
{
    m_record.bitRate = bitRate;
    m_record.calls.push_back("SetBitRate");
}

void CRecordingAudioData::SetChannelId(uint8_t id)
{
    m_record.channelId = id;
    m_record.calls.push_back("SetChannelId");
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
    return m_live.Add(
        std::make_unique<CRecordingFrame>(fourCC, size, streamName ? streamName : "", !m_framesWithoutBuffer));
}

ipcapture::IAudioData* CFrameHost::AllocateAudioFrame(uint32_t, uint32_t, const char* driverName)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_audioDriverName = driverName != nullptr ? driverName : "";
    return m_liveAudio.Add(std::make_unique<CRecordingAudioData>());
}

// Frames that are not ours or released twice leave the release counts short: the test sees it.
void CFrameHost::ReleaseAudioFrame(ipcapture::IAudioData* frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_liveAudio.Release(frame))
        ++m_audioReleases;
}

void CFrameHost::ReleaseFrame(ipcapture::IHostFrame* frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_live.Release(frame))
        ++m_releases;
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

void CFrameHost::OnSignalLost()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_signalLost;
}

bool CFrameHost::OnAudioFrame(ipcapture::IAudioData* frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_accept)
        return false;
    m_audioFrames.push_back(static_cast<CRecordingAudioData*>(frame)->Record());
    return true;
}

void CFrameHost::OnAudioState(uint32_t audioId, uint32_t state)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_audioStates.emplace_back(audioId, state);
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
    return m_liveAudio.Add(std::move(packet));
}

void CFrameHost::SetAcceptFrames(bool accept)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_accept = accept;
}

void CFrameHost::SetRefuseAllocations(bool refuse)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refuseAllocations = refuse;
}

void CFrameHost::SetFramesWithoutBuffer(bool withoutBuffer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_framesWithoutBuffer = withoutBuffer;
}

void CFrameHost::SetKeepFrames(bool keep)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_keepFrames = keep;
}

std::vector<DeliveredFrame> CFrameHost::Frames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
}

size_t CFrameHost::FrameCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frameCount;
}

size_t CFrameHost::Allocations() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_allocations;
}

size_t CFrameHost::Releases() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_releases;
}

size_t CFrameHost::OutstandingFrames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_live.Count();
}

size_t CFrameHost::SignalLostCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_signalLost;
}

uint32_t CFrameHost::LastAllocationSize() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastAllocationSize;
}

std::vector<AudioRecord> CFrameHost::AudioFrames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_audioFrames;
}

size_t CFrameHost::AudioFrameCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_audioFrames.size();
}

size_t CFrameHost::OutstandingAudioFrames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_liveAudio.Count();
}

size_t CFrameHost::AudioReleases() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_audioReleases;
}

std::string CFrameHost::LastAudioDriverName() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_audioDriverName;
}

std::vector<std::pair<uint32_t, uint32_t>> CFrameHost::AudioStates() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_audioStates;
}

uint32_t CFrameHost::LastAudioState() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_audioStates.empty() ? 0 : m_audioStates.back().second;
}

}  // namespace korvane::test
