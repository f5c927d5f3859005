#pragma once
// Work items of an audio output channel's queue.
#include <cstdint>

#include "tallowcam/HostInterfaces.h"

namespace korvane {

enum AudioItemType : uint32_t {
    kAudioItemPrepare = 0,  // select the format and prepare the camera
    kAudioItemData = 1,     // send one packet
    kAudioItemRefresh = 2,  // retry after a failure
};

class CAudioItem {
public:
    explicit CAudioItem(uint32_t type = kAudioItemPrepare) : m_type(type) {}
    virtual ~CAudioItem() = default;
    CAudioItem(const CAudioItem&) = delete;
    CAudioItem& operator=(const CAudioItem&) = delete;

    uint32_t Type() const { return m_type; }

private:
    uint32_t m_type;
};

// Owns one host packet and gives it back to the host when it goes.
class CAudioDataItem : public CAudioItem {
public:
    CAudioDataItem(ipcapture::IAudioData* frame, ipcapture::IFrameAllocator* allocator)
        : CAudioItem(kAudioItemData), m_frame(frame), m_allocator(allocator)
    {
    }
    ~CAudioDataItem() override
    {
        try {
            m_allocator->ReleaseAudioFrame(m_frame);
        } catch (...) {
        }
    }

    ipcapture::IAudioData* Frame() const { return m_frame; }

private:
    ipcapture::IAudioData* m_frame;
    ipcapture::IFrameAllocator* m_allocator;
};

class CAudioRefreshItem : public CAudioItem {
public:
    CAudioRefreshItem() : CAudioItem(kAudioItemRefresh) {}
};

}  // namespace korvane
