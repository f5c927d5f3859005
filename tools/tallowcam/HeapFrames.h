#pragma once
// Frame objects on the heap: the allocator the host hands to the driver's Open.
// Video frames only; this host takes no audio. The driver fills a frame
// through the slots it is given; this host's sinks read it back through the
// frame's own accessors.
#include <atomic>
#include <cstdint>
#include <vector>

#include "tallowcam/HostInterfaces.h"

namespace tallowcam_host {

class HeapFrame final : public korvane::ipcapture::IHostFrame {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    HeapFrame(uint32_t fourCC, uint32_t size) : m_buffer(size), m_fourCC(fourCC) {}

    // A frame this host's allocator handed out.
    static const HeapFrame& Of(const korvane::ipcapture::IHostFrame* frame)
    {
        return *static_cast<const HeapFrame*>(frame);
    }

    uint8_t* GetBuffer() override { return m_buffer.data(); }
    void SetDataSize(uint32_t size) override
    {
        m_dataSize = size <= m_buffer.size() ? size : static_cast<uint32_t>(m_buffer.size());
    }
    void Commit() override {}
    void SetTime(const SYSTEMTIME* time) override { m_time = *time; }
    void GetTime(SYSTEMTIME* time) override { *time = m_time; }
    void SetFourCC(uint32_t fourCC) override { m_fourCC = fourCC; }
    void SetHeight(uint32_t height) override { m_height = height; }
    void SetWidth(uint32_t width) override { m_width = width; }
    void SetSizeClass(uint32_t) override {}

    const uint8_t* Data() const { return m_buffer.data(); }
    uint32_t DataSize() const { return m_dataSize; }
    uint32_t FourCC() const { return m_fourCC; }
    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }

private:
    std::vector<uint8_t> m_buffer;
    uint32_t m_dataSize = 0;
    uint32_t m_fourCC;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    SYSTEMTIME m_time{};
};

class HeapFrameAllocator final : public korvane::ipcapture::IFrameAllocator {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    korvane::ipcapture::IHostFrame* AllocateFrame(uint32_t fourCC, uint32_t size, const char* streamName) override;
    korvane::ipcapture::IAudioData* AllocateAudioFrame(uint32_t, uint32_t, const char*) override { return nullptr; }
    void ReleaseAudioFrame(korvane::ipcapture::IAudioData*) override {}
    void ReleaseFrame(korvane::ipcapture::IHostFrame* frame) override;

    // Frames allocated and not yet released.
    int64_t Outstanding() const { return m_outstanding.load(); }

private:
    std::atomic<int64_t> m_outstanding{0};
};

}  // namespace tallowcam_host
