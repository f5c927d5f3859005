#pragma once
// Host-side frame objects: a recording frame allocator, frame sink and audio
// sink. Keeps what every delivered video or audio frame carried, can refuse
// frames or allocations, and counts allocations and releases so a test can
// check that every frame went back to the host. A driver that calls a slot it
// was not given fails the test.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio/AudioFormat.h"
#include "support/Guarded.h"
#include "support/HostSlots.h"
#include "support/WaitUntil.h"
#include "tallowcam/HostInterfaces.h"

namespace korvane::test {

// What a frame object holds; `calls` names the setters in the order the driver called them.
struct DeliveredFrame {
    std::vector<uint8_t> bytes;  // the data-size bytes of the buffer
    uint32_t fourCC = 0, width = 0, height = 0, sizeClass = 0;
    SYSTEMTIME time{};
    std::string streamName;
    std::vector<std::string> calls;
};

struct AudioRecord {
    std::vector<uint8_t> bytes;
    uint32_t fourCC = 0, sampleRate = 0;
    uint8_t bitsPerSample = 0, stereo = 0;
    uint32_t bitRate = 0, channelId = 0;
    std::vector<std::string> calls;
};

// Keeps a setter's value in its record and notes the call.
template <typename Record>
class CallRecorder {
protected:
    template <typename Field, typename Value>
    void Set(const char* call, Field& field, Value value)
    {
        field = static_cast<Field>(value);
        m_record.calls.push_back(call);
    }

    Record m_record;
};

class CRecordingFrame final : public ipcapture::IHostFrame, private CallRecorder<DeliveredFrame> {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    // withBuffer false: GetBuffer gives null.
    CRecordingFrame(uint32_t fourCC, uint32_t bufferSize, std::string streamName, bool withBuffer = true)
        : m_buffer(bufferSize), m_withBuffer(withBuffer)
    {
        m_record.fourCC = fourCC;
        m_record.streamName = std::move(streamName);
    }

    void Reserved1() override { UnassignedSlot("IHostFrame", 1); }
    uint8_t* GetBuffer() override { return m_withBuffer ? m_buffer.data() : nullptr; }
    void Reserved3() override { UnassignedSlot("IHostFrame", 3); }
    void SetDataSize(uint32_t size) override { Set("SetDataSize", m_dataSize, size); }
    void Commit() override { m_record.calls.push_back("Commit"); }
    void SetTime(const SYSTEMTIME* time) override { Set("SetTime", m_record.time, *time); }
    void GetTime(SYSTEMTIME* time) override { *time = m_record.time; }
    void Reserved8() override { UnassignedSlot("IHostFrame", 8); }
    void Reserved9() override { UnassignedSlot("IHostFrame", 9); }
    void SetFourCC(uint32_t fourCC) override { Set("SetFourCC", m_record.fourCC, fourCC); }
    void Reserved11() override { UnassignedSlot("IHostFrame", 11); }
    void SetHeight(uint32_t height) override { Set("SetHeight", m_record.height, height); }
    void Reserved13() override { UnassignedSlot("IHostFrame", 13); }
    void SetWidth(uint32_t width) override { Set("SetWidth", m_record.width, width); }
    void Reserved15() override { UnassignedSlot("IHostFrame", 15); }
    void SetSizeClass(uint32_t sizeClass) override { Set("SetSizeClass", m_record.sizeClass, sizeClass); }

    // What the frame holds now.
    DeliveredFrame Snapshot() const
    {
        DeliveredFrame frame = m_record;
        const size_t size = std::min<size_t>(m_dataSize, m_buffer.size());
        frame.bytes.assign(m_buffer.begin(), m_buffer.begin() + size);
        return frame;
    }

private:
    std::vector<uint8_t> m_buffer;
    bool m_withBuffer;
    uint32_t m_dataSize = 0;
};

class CRecordingAudioData : public ipcapture::IAudioData, private CallRecorder<AudioRecord> {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    virtual ~CRecordingAudioData() = default;  // tests derive their packets from it
    void SetData(const uint8_t* data, uint32_t size) override
    {
        m_record.bytes.assign(data, data + size);
        m_record.calls.push_back("SetData");
    }
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
    void SetFourCC(uint32_t fourCC) override { Set("SetFourCC", m_record.fourCC, fourCC); }
    void SetBitRate(uint32_t bitRate) override { Set("SetBitRate", m_record.bitRate, bitRate); }
    void Reserved14() override { UnassignedSlot("IAudioData", 14); }
    void SetChannelId(uint8_t id) override { Set("SetChannelId", m_record.channelId, id); }
    uint32_t GetChannelId() override { return m_record.channelId; }
    uint8_t IsStereo() override { return m_record.stereo; }
    void Reserved18() override { UnassignedSlot("IAudioData", 18); }
    uint32_t GetSampleRate() override { return m_record.sampleRate; }
    uint32_t GetBitRate() override { return m_record.bitRate; }
    void SetFormat(uint32_t sampleRate, uint8_t bitsPerSample, uint8_t stereo) override
    {
        m_record.sampleRate = sampleRate;
        m_record.bitsPerSample = bitsPerSample;
        m_record.stereo = stereo;
        m_record.calls.push_back("SetFormat");
    }

    const AudioRecord& Record() const { return m_record; }
};

class CFrameHost final : public ipcapture::IFrameAllocator,
                   public ipcapture::IFrameSink,
                   public ipcapture::IAudioSink,
                   public ipcapture::IAudioStateSink,
                   private Guarded {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    // IFrameAllocator
    void Reserved1() override { UnassignedSlot("IFrameAllocator", 1); }
    ipcapture::IHostFrame* AllocateFrame(uint32_t fourCC, uint32_t size, const char* streamName) override
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
    ipcapture::IAudioData* AllocateAudioFrame(uint32_t, uint32_t, const char* driverName) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_audioDriverName = driverName != nullptr ? driverName : "";
        m_liveAudio.push_back(std::make_unique<CRecordingAudioData>());
        return m_liveAudio.back().get();
    }
    void ReleaseAudioFrame(ipcapture::IAudioData* frame) override { Release(m_liveAudio, frame, m_audioReleases); }
    void Reserved5() override { UnassignedSlot("IFrameAllocator", 5); }
    void ReleaseFrame(ipcapture::IHostFrame* frame) override { Release(m_live, frame, m_releases); }

    // IFrameSink
    bool OnFrame(ipcapture::IHostFrame* frame) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_accept)
            return false;
        ++m_frameCount;
        if (m_keepFrames)
            m_frames.push_back(static_cast<CRecordingFrame*>(frame)->Snapshot());
        return true;
    }
    void Reserved2() override { UnassignedSlot("IFrameSink", 2); }
    void OnSignalLost() override { Locked([&] { ++m_signalLost; }); }

    // IAudioSink and IAudioStateSink
    bool OnAudioFrame(ipcapture::IAudioData* frame) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_accept)
            return false;
        m_audioFrames.push_back(static_cast<CRecordingAudioData*>(frame)->Record());
        return true;
    }
    void OnAudioState(uint32_t audioId, uint32_t state) override
    {
        Locked([&] { m_audioStates.emplace_back(audioId, state); });
    }

    // A packet for an output channel, G.711 mu-law at 8000 Hz unless changed; owned by this host.
    CRecordingAudioData* MakeAudioPacket(const std::vector<uint8_t>& bytes)
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

    // Behaviour (accepting applies to video and audio frames)
    void SetAcceptFrames(bool accept) { Locked([&] { m_accept = accept; }); }
    void SetRefuseAllocations(bool refuse) { Locked([&] { m_refuseAllocations = refuse; }); }
    // True: frames whose GetBuffer gives null.
    void SetFramesWithoutBuffer(bool withoutBuffer) { Locked([&] { m_framesWithoutBuffer = withoutBuffer; }); }
    // False: count frames only, keep no bytes (for benchmarks).
    void SetKeepFrames(bool keep) { Locked([&] { m_keepFrames = keep; }); }

    // Observations
    std::vector<DeliveredFrame> Frames() const { return Locked([&] { return m_frames; }); }
    // The frames of one stream ("<address>:<port>::RecStream" and so on).
    std::vector<DeliveredFrame> FramesOf(const std::string& streamName) const
    {
        std::vector<DeliveredFrame> selected;
        for (DeliveredFrame& frame : Frames())
            if (frame.streamName == streamName)
                selected.push_back(std::move(frame));
        return selected;
    }
    bool WaitForFrames(const std::string& streamName, size_t count, uint32_t timeoutMs) const
    {
        return WaitUntil([&] { return FramesOf(streamName).size() >= count; }, timeoutMs);
    }
    size_t FrameCount() const { return Locked([&] { return m_frameCount; }); }
    size_t Allocations() const { return Locked([&] { return m_allocations; }); }
    size_t Releases() const { return Locked([&] { return m_releases; }); }
    // Allocated and not yet released.
    size_t OutstandingFrames() const { return Locked([&] { return m_live.size(); }); }
    size_t SignalLostCount() const { return Locked([&] { return m_signalLost; }); }
    uint32_t LastAllocationSize() const { return Locked([&] { return m_lastAllocationSize; }); }

    std::vector<AudioRecord> AudioFrames() const { return Locked([&] { return m_audioFrames; }); }
    // Handed out and not yet released.
    size_t OutstandingAudioFrames() const { return Locked([&] { return m_liveAudio.size(); }); }
    size_t AudioReleases() const { return Locked([&] { return m_audioReleases; }); }
    std::string LastAudioDriverName() const { return Locked([&] { return m_audioDriverName; }); }
    // Audio id and state, in call order.
    std::vector<std::pair<uint32_t, uint32_t>> AudioStates() const { return Locked([&] { return m_audioStates; }); }
    uint32_t LastAudioState() const
    {
        return Locked([&] { return m_audioStates.empty() ? 0u : m_audioStates.back().second; });
    }

private:
    // Takes an object back. Frames that are not ours or released twice leave
    // the release counts short: the test sees it.
    template <typename T>
    void Release(std::vector<std::unique_ptr<T>>& objects, const void* object, size_t& releases)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = std::find_if(objects.begin(), objects.end(),
                                        [&](const std::unique_ptr<T>& owned) { return owned.get() == object; });
        if (found == objects.end())
            return;
        objects.erase(found);
        ++releases;
    }

    std::vector<DeliveredFrame> m_frames;
    std::vector<std::unique_ptr<CRecordingFrame>> m_live;  // handed to the driver and not yet given back
    std::vector<std::unique_ptr<CRecordingAudioData>> m_liveAudio;
    std::vector<AudioRecord> m_audioFrames;
    std::vector<std::pair<uint32_t, uint32_t>> m_audioStates;
    std::string m_audioDriverName;
    size_t m_frameCount = 0, m_allocations = 0, m_releases = 0, m_audioReleases = 0, m_signalLost = 0;
    uint32_t m_lastAllocationSize = 0;
    bool m_framesWithoutBuffer = false, m_accept = true, m_refuseAllocations = false, m_keepFrames = true;
};

}  // namespace korvane::test
