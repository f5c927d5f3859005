#pragma once
// Host-side frame objects for component tests: a recording frame allocator,
// frame sink and audio sink. Keeps what every delivered video or audio frame
// carried, can refuse frames or allocations, and counts allocations and
// releases so a test can check that every frame went back to the host. A
// driver that calls a slot it was not given fails the test.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "support/HostSlots.h"
#include "tallowcam/HostInterfaces.h"

namespace korvane::test {

struct DeliveredFrame {
    std::vector<uint8_t> bytes;  // the data-size bytes of the buffer
    uint32_t fourCC = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t sizeClass = 0;
    SYSTEMTIME time{};
    std::string streamName;
    std::vector<std::string> calls;  // the setters in the order the driver called them
};

class CRecordingFrame : public ipcapture::IHostFrame {
public:
    // withBuffer false: GetBuffer gives null.
    CRecordingFrame(uint32_t fourCC, uint32_t bufferSize, std::string streamName, bool withBuffer = true);

    void Reserved1() override { UnassignedSlot("IHostFrame", 1); }
    uint8_t* GetBuffer() override { return m_withBuffer ? m_buffer.data() : nullptr; }
    void Reserved3() override { UnassignedSlot("IHostFrame", 3); }
    void SetDataSize(uint32_t size) override;
    void Commit() override { m_record.calls.push_back("Commit"); }
    void SetTime(const SYSTEMTIME* time) override;
    void GetTime(SYSTEMTIME* time) override { *time = m_record.time; }
    void Reserved8() override { UnassignedSlot("IHostFrame", 8); }
    void Reserved9() override { UnassignedSlot("IHostFrame", 9); }
    void SetFourCC(uint32_t fourCC) override;
    void Reserved11() override { UnassignedSlot("IHostFrame", 11); }
    void SetHeight(uint32_t height) override;
    void Reserved13() override { UnassignedSlot("IHostFrame", 13); }
    void SetWidth(uint32_t width) override;
    void Reserved15() override { UnassignedSlot("IHostFrame", 15); }
    void SetSizeClass(uint32_t sizeClass) override;

    // What the frame holds now.
    DeliveredFrame Snapshot() const;

private:
    std::vector<uint8_t> m_buffer;
    bool m_withBuffer;
    uint32_t m_dataSize = 0;
    DeliveredFrame m_record;
};

struct AudioRecord {
    std::vector<uint8_t> bytes;
    uint32_t fourCC = 0;
    uint32_t sampleRate = 0;
    uint8_t bitsPerSample = 0;
    uint8_t stereo = 0;
    uint32_t bitRate = 0;
    uint32_t channelId = 0;
    std::vector<std::string> calls;  // the setters in call order
};

class CRecordingAudioData : public ipcapture::IAudioData {
public:
    void SetData(const uint8_t* data, uint32_t size) override;
    const uint8_t* GetData() override { return m_record.bytes.empty() ? nullptr : m_record.bytes.data(); }
    uint32_t GetDataSize() override { return static_cast<uint32_t>(m_record.bytes.size()); }
    void Reserved4() override { UnassignedSlot("IAudioData", 4); }
    void Commit() override { m_record.calls.push_back("Commit"); }
    void Reserved6() override { UnassignedSlot("IAudioData", 6); }
    void Reserved7() override { UnassignedSlot("IAudioData", 7); }
    void Reserved8() override { UnassignedSlot("IAudioData", 8); }
    void Reserved9() override { UnassignedSlot("IAudioData", 9); }
    uint32_t GetFourCC() override { return m_record.fourCC; }
    void Reserved11() override { UnassignedSlot("IAudioData", 11); }
    void SetFourCC(uint32_t fourCC) override;
    void SetBitRate(uint32_t bitRate) override;
    void Reserved14() override { UnassignedSlot("IAudioData", 14); }
    void SetChannelId(uint8_t id) override;
    uint32_t GetChannelId() override { return m_record.channelId; }
    uint8_t IsStereo() override { return m_record.stereo; }
    void Reserved18() override { UnassignedSlot("IAudioData", 18); }
    uint32_t GetSampleRate() override { return m_record.sampleRate; }
    uint32_t GetBitRate() override { return m_record.bitRate; }
    void SetFormat(uint32_t sampleRate, uint8_t bitsPerSample, uint8_t stereo) override;

    const AudioRecord& Record() const { return m_record; }

private:
    AudioRecord m_record;
};

// Objects handed to the driver and not yet given back.
template <typename T>
class COutstanding {
public:
    T* Add(std::unique_ptr<T> object)
    {
        m_objects.push_back(std::move(object));
        return m_objects.back().get();
    }
    // False for an object that is not ours or was released already.
    bool Release(const void* object)
    {
        for (auto it = m_objects.begin(); it != m_objects.end(); ++it) {
            if (it->get() == object) {
                m_objects.erase(it);
                return true;
            }
        }
        return false;
    }
    size_t Count() const { return m_objects.size(); }

private:
    std::vector<std::unique_ptr<T>> m_objects;
};

class CFrameHost : public ipcapture::IFrameAllocator,
                   public ipcapture::IFrameSink,
                   public ipcapture::IAudioSink,
                   public ipcapture::IAudioStateSink {
public:
    // IFrameAllocator
    void Reserved1() override { UnassignedSlot("IFrameAllocator", 1); }
    ipcapture::IHostFrame* AllocateFrame(uint32_t fourCC, uint32_t size, const char* streamName) override;
    ipcapture::IAudioData* AllocateAudioFrame(uint32_t fourCC, uint32_t size, const char* driverName) override;
    void ReleaseAudioFrame(ipcapture::IAudioData* frame) override;
    void Reserved5() override { UnassignedSlot("IFrameAllocator", 5); }
    void ReleaseFrame(ipcapture::IHostFrame* frame) override;

    // IFrameSink
    bool OnFrame(ipcapture::IHostFrame* frame) override;
    void Reserved2() override { UnassignedSlot("IFrameSink", 2); }
    void OnSignalLost() override;

    // IAudioSink and IAudioStateSink
    bool OnAudioFrame(ipcapture::IAudioData* frame) override;
    void OnAudioState(uint32_t audioId, uint32_t state) override;

    // A packet for an output channel, G.711 mu-law at 8000 Hz unless changed; owned by this host.
    CRecordingAudioData* MakeAudioPacket(const std::vector<uint8_t>& bytes);

    // Behaviour (accepting applies to video and audio frames)
    void SetAcceptFrames(bool accept);
    void SetRefuseAllocations(bool refuse);
    // True: frames whose GetBuffer gives null.
    void SetFramesWithoutBuffer(bool withoutBuffer);
    // False: count frames only, keep no bytes (for benchmarks).
    void SetKeepFrames(bool keep);

    // Observations
    std::vector<DeliveredFrame> Frames() const;
    size_t FrameCount() const;
    size_t Allocations() const;
    size_t Releases() const;
    size_t OutstandingFrames() const;  // allocated and not yet released
    size_t SignalLostCount() const;
    uint32_t LastAllocationSize() const;

    std::vector<AudioRecord> AudioFrames() const;
    size_t AudioFrameCount() const;
    size_t OutstandingAudioFrames() const;  // handed out and not yet released
    size_t AudioReleases() const;
    std::string LastAudioDriverName() const;
    std::vector<std::pair<uint32_t, uint32_t>> AudioStates() const;  // audio id, state
    uint32_t LastAudioState() const;

private:
    mutable std::mutex m_mutex;
    std::vector<DeliveredFrame> m_frames;
    COutstanding<CRecordingFrame> m_live;
    COutstanding<CRecordingAudioData> m_liveAudio;
    std::vector<AudioRecord> m_audioFrames;
    std::vector<std::pair<uint32_t, uint32_t>> m_audioStates;
    size_t m_audioReleases = 0;
    std::string m_audioDriverName;
    size_t m_frameCount = 0;
    size_t m_allocations = 0;
    size_t m_releases = 0;
    size_t m_signalLost = 0;
    uint32_t m_lastAllocationSize = 0;
    bool m_framesWithoutBuffer = false;
    bool m_accept = true;
    bool m_refuseAllocations = false;
    bool m_keepFrames = true;
};

}  // namespace korvane::test
