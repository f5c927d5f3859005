#pragma once
// Frame objects on the heap: the allocator the host hands to the driver's Open.
// Video frames only; this host takes no audio.
#include <atomic>
#include <cstdint>
#include <vector>

#include "tallowcam/HostInterfaces.h"

namespace tallowcam_host {

class HeapFrame : public korvane::ipcapture::IHostFrame {
public:
    HeapFrame(uint32_t fourCC, uint32_t size) : m_buffer(size), m_fourCC(fourCC) {}

    uint32_t GetBufferSize() override { return static_cast<uint32_t>(m_buffer.size()); }
    uint8_t* GetBuffer() override { return m_buffer.data(); }
    uint32_t GetDataSize() override { return m_dataSize; }
    void SetDataSize(uint32_t size) override { m_dataSize = size <= m_buffer.size() ? size : GetBufferSize(); }
    void Commit() override {}
    void SetTime(const SYSTEMTIME* time) override { m_time = *time; }
    void GetTime(SYSTEMTIME* time) override { *time = m_time; }
    void SetFourCC(uint32_t fourCC) override { m_fourCC = fourCC; }
    uint32_t GetFourCC() override { return m_fourCC; }
    void SetHeight(uint32_t height) override { m_height = height; }
    uint32_t GetHeight() override { return m_height; }
    void SetWidth(uint32_t width) override { m_width = width; }
    uint32_t GetWidth() override { return m_width; }
    void SetSizeClass(uint32_t) override {}

private:
    std::vector<uint8_t> m_buffer;
    uint32_t m_dataSize = 0;
    uint32_t m_fourCC;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    SYSTEMTIME m_time{};
};

class HeapFrameAllocator : public korvane::ipcapture::IFrameAllocator {
public:
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
