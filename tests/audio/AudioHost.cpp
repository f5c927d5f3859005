#include "AudioHost.h"

#include <algorithm>

#include "audio/AudioFormat.h"

namespace korvane::test {

void CAudioData::SetData(const uint8_t* data, uint32_t size)
{
    m_record.bytes.assign(data, data + size);
    m_record.calls.push_back("SetData");
}

void CAudioData::SetFourCC(uint32_t fourCC)
{
    m_record.fourCC = fourCC;
    m_record.calls.push_back("SetFourCC");
}

void CAudioData::SetBitRate(uint32_t bitRate)
{
    m_record.bitRate = bitRate;
    m_record.calls.push_back("SetBitRate");
}

void CAudioData::SetChannelId(uint8_t id)
{
    m_record.channelId = id;
    m_record.calls.push_back("SetChannelId");
}

void CAudioData::SetFormat(uint32_t sampleRate, uint8_t bitsPerSample, uint8_t stereo)
{
    m_record.sampleRate = sampleRate;
    m_record.bitsPerSample = bitsPerSample;
    m_record.stereo = stereo;
    m_record.calls.push_back("SetFormat");
}

ipcapture::IAudioData* CAudioHost::AllocateAudioFrame(uint32_t, uint32_t, const char* driverName)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_driverName = driverName != nullptr ? driverName : "";
    m_live.push_back(std::make_unique<CAudioData>());
    return m_live.back().get();
}

void CAudioHost::ReleaseAudioFrame(ipcapture::IAudioData* frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = std::find_if(m_live.begin(), m_live.end(), [frame](const auto& live) { return live.get() == frame; });
    if (found == m_live.end())
        return;  // not ours or released twice: Released() stays short
    m_live.erase(found);
    ++m_released;
}

bool CAudioHost::OnAudioFrame(ipcapture::IAudioData* frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_accept)
        return false;
    m_frames.push_back(static_cast<CAudioData*>(frame)->Record());
    return true;
}

void CAudioHost::OnAudioState(uint32_t audioId, uint32_t state)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_states.emplace_back(audioId, state);
}

CAudioData* CAudioHost::MakePacket(const std::vector<uint8_t>& bytes)
{
    auto packet = std::make_unique<CAudioData>();
    const AudioFormat format = AudioFormat::MuLaw8k();
    packet->SetFourCC(format.fourCC);
    packet->SetFormat(format.sampleRate, format.bitsPerSample, format.stereo);
    packet->SetBitRate(format.bitRate);
    packet->SetChannelId(1);
    if (!bytes.empty())
        packet->SetData(bytes.data(), static_cast<uint32_t>(bytes.size()));
    std::lock_guard<std::mutex> lock(m_mutex);
    m_live.push_back(std::move(packet));
    return m_live.back().get();
}

void CAudioHost::SetAcceptFrames(bool accept)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_accept = accept;
}

std::vector<AudioRecord> CAudioHost::Frames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
}

size_t CAudioHost::FrameCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames.size();
}

std::vector<std::pair<uint32_t, uint32_t>> CAudioHost::States() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_states;
}

uint32_t CAudioHost::LastState() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_states.empty() ? 0 : m_states.back().second;
}

size_t CAudioHost::Outstanding() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_live.size();
}

size_t CAudioHost::Released() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_released;
}

std::string CAudioHost::LastDriverName() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_driverName;
}

bool IsAllowedPath(const std::vector<std::pair<uint32_t, uint32_t>>& states,
                   const std::vector<std::vector<uint32_t>>& allowed)
{
    uint32_t from = 0;
    for (const auto& [id, to] : states) {
        if (from >= allowed.size() || std::find(allowed[from].begin(), allowed[from].end(), to) == allowed[from].end())
            return false;
        from = to;
    }
    return true;
}

}  // namespace korvane::test
