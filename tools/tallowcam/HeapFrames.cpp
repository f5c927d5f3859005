#include "HeapFrames.h"

#include <new>

namespace tallowcam_host {

korvane::ipcapture::IHostFrame* HeapFrameAllocator::AllocateFrame(uint32_t fourCC, uint32_t size, const char*)
{
    HeapFrame* frame = new (std::nothrow) HeapFrame(fourCC, size);
    if (frame != nullptr)
        ++m_outstanding;
    return frame;
}

void HeapFrameAllocator::ReleaseFrame(korvane::ipcapture::IHostFrame* frame)
{
    if (frame == nullptr)
        return;
    --m_outstanding;
    delete static_cast<HeapFrame*>(frame);
}

}  // namespace tallowcam_host
