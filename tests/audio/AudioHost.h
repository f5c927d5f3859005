#pragma once
// Host-side audio objects for the audio tests: audio data objects, an
// allocator that counts what it hands out, an audio sink and a state sink
// that record what reaches them, and a list of the formats a host offers.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tallowcam/HostInterfaces.h"

namespace korvane::test {

struct AudioRecord {
    std::vector<uint8_t> bytes;
    uint32_t fourCC = 0;
    uint32_t sampleRate = 0;
    uint8_t bitsPerSample = 0;
    uint8_t stereo = 0;
    uint32_t bitRate = 0;
    uint32_t channelId = 0;
    std::vector<std::string> calls;  // setters in call order
};

class CAudioData : public ipcapture::IAudioData {
public:
    void SetData(const uint8_t* data, uint32_t size) override;
    const uint8_t* GetData() override { return m_record.bytes.empty() ? nullptr : m_record.bytes.data(); }
    uint32_t GetDataSize() override { return static_cast<uint32_t>(m_record.bytes.size()); }
    void Commit() override { m_record.calls.push_back("Commit"); }
    uint32_t GetFourCC() override { return m_record.fourCC; }
    void SetFourCC(uint32_t fourCC) override;
    void SetBitRate(uint32_t bitRate) override;
    void SetChannelId(uint8_t id) override;
    uint32_t GetChannelId() override { return m_record.channelId; }
    uint8_t IsStereo() override { return m_record.stereo; }
    uint8_t GetBitsPerSample() override { return m_record.bitsPerSample; }
    uint32_t GetSampleRate() override { return m_record.sampleRate; }
    uint32_t GetBitRate() override { return m_record.bitRate; }
    void SetFormat(uint32_t sampleRate, uint8_t bitsPerSample, uint8_t stereo) override;

    const AudioRecord& Record() const { return m_record; }

private:
    AudioRecord m_record;
};

class CAudioHost : public ipcapture::IFrameAllocator,
                   public ipcapture::IAudioSink,
                   public ipcapture::IAudioStateSink {
public:
    // IFrameAllocator
    ipcapture::IHostFrame* AllocateFrame(uint32_t, uint32_t, const char*) override { return nullptr; }
    ipcapture::IAudioData* AllocateAudioFrame(uint32_t fourCC, uint32_t size, const char* driverName) override;
    void ReleaseAudioFrame(ipcapture::IAudioData* frame) override;
    void ReleaseFrame(ipcapture::IHostFrame*) override {}

    // IAudioSink and IAudioStateSink
    bool OnAudioFrame(ipcapture::IAudioData* frame) override;
    void OnAudioState(uint32_t audioId, uint32_t state) override;

    // A packet for an output channel, G.711 mu-law at 8000 Hz unless changed; owned by this host.
    CAudioData* MakePacket(const std::vector<uint8_t>& bytes);
    void SetAcceptFrames(bool accept);

    std::vector<AudioRecord> Frames() const;
    size_t FrameCount() const;
    std::vector<std::pair<uint32_t, uint32_t>> States() const;  // audio id, state
    uint32_t LastState() const;
    size_t Outstanding() const;  // handed out and not yet released
    size_t Released() const;
    std::string LastDriverName() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<CAudioData>> m_live;
    std::vector<AudioRecord> m_frames;
    std::vector<std::pair<uint32_t, uint32_t>> m_states;
    size_t m_released = 0;
    bool m_accept = true;
    std::string m_driverName;
};

class CFormatEntry : public ipcapture::IAudioFormatEntry {
public:
    CFormatEntry(uint32_t fourCC, bool enabled) : m_fourCC(fourCC), m_enabled(enabled) {}
    uint32_t GetFourCC() override { return m_fourCC; }
    bool IsEnabled() override { return m_enabled; }

private:
    uint32_t m_fourCC;
    bool m_enabled;
};

class CFormatList : public ipcapture::IAudioFormatList {
public:
    void Add(uint32_t fourCC, bool enabled) { m_entries.emplace_back(fourCC, enabled); }
    uint32_t GetCount() override { return static_cast<uint32_t>(m_entries.size()); }
    ipcapture::IAudioFormatEntry* GetFormat(uint32_t index) override
    {
        return index < m_entries.size() ? &m_entries[index] : nullptr;
    }

private:
    std::vector<CFormatEntry> m_entries;
};

// True when every change of the sequence is one the table allows, starting from 0.
bool IsAllowedPath(const std::vector<std::pair<uint32_t, uint32_t>>& states,
                   const std::vector<std::vector<uint32_t>>& allowed);

}  // namespace korvane::test
