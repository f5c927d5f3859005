#pragma once
// Host-side frame objects for component tests: a recording frame allocator
// and frame sink. Keeps what every delivered frame carried, can refuse frames
// or allocations, and counts allocations and releases so a test can check
// that every frame went back to the host.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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
    CRecordingFrame(uint32_t fourCC, uint32_t bufferSize, std::string streamName);

    uint32_t GetBufferSize() override { return static_cast<uint32_t>(m_buffer.size()); }
    uint8_t* GetBuffer() override { return m_buffer.data(); }
    uint32_t GetDataSize() override { return m_dataSize; }
    void SetDataSize(uint32_t size) override;
    void Commit() override { m_record.calls.push_back("Commit"); }
    void SetTime(const SYSTEMTIME* time) override;
    void GetTime(SYSTEMTIME* time) override { *time = m_record.time; }
    void SetFourCC(uint32_t fourCC) override;
    uint32_t GetFourCC() override { return m_record.fourCC; }
    void SetHeight(uint32_t height) override;
    uint32_t GetHeight() override { return m_record.height; }
    void SetWidth(uint32_t width) override;
    uint32_t GetWidth() override { return m_record.width; }
    void SetSizeClass(uint32_t sizeClass) override;

    // What the frame holds now.
    DeliveredFrame Snapshot() const;

private:
    std::vector<uint8_t> m_buffer;
    uint32_t m_dataSize = 0;
    DeliveredFrame m_record;
};

class CFrameHost : public ipcapture::IFrameAllocator, public ipcapture::IFrameSink {
public:
    // IFrameAllocator
    ipcapture::IHostFrame* AllocateFrame(uint32_t fourCC, uint32_t size, const char* streamName) override;
    ipcapture::IAudioData* AllocateAudioFrame(uint32_t fourCC, uint32_t size, const char* driverName) override;
    void ReleaseAudioFrame(ipcapture::IAudioData* frame) override;
    void ReleaseFrame(ipcapture::IHostFrame* frame) override;

    // IFrameSink
    bool OnFrame(ipcapture::IHostFrame* frame) override;
    void OnSignalLost() override;

    // Behaviour
    void SetAcceptFrames(bool accept);
    void SetRefuseAllocations(bool refuse);
    // Buffers this many bytes smaller than requested (0: as requested).
    void SetBufferShortfall(uint32_t bytes);
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

private:
    mutable std::mutex m_mutex;
    std::vector<DeliveredFrame> m_frames;
    std::vector<std::unique_ptr<CRecordingFrame>> m_live;
    size_t m_frameCount = 0;
    size_t m_allocations = 0;
    size_t m_releases = 0;
    size_t m_signalLost = 0;
    uint32_t m_lastAllocationSize = 0;
    uint32_t m_shortfall = 0;
    bool m_accept = true;
    bool m_refuseAllocations = false;
    bool m_keepFrames = true;
};

}  // namespace korvane::test
