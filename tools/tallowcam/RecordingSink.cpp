#include "RecordingSink.h"

#include "HeapFrames.h"

#include <cerrno>
#include <cstring>

namespace tallowcam_host {

namespace {

constexpr uint32_t kFourCCH264 = 0x34363248;       // "H264"
constexpr uint32_t kFourCCH264Delta = 0x34363249;  // "I264"
constexpr uint8_t kH264FrameTrailer[] = {0, 0, 0, 1, 9};

// The bytes of the frame that go into the file.
uint32_t RecordedSize(const HeapFrame& frame)
{
    const uint32_t fourCC = frame.FourCC();
    const uint32_t size = frame.DataSize();
    const uint32_t trailerSize = sizeof kH264FrameTrailer;
    if ((fourCC == kFourCCH264 || fourCC == kFourCCH264Delta) && size >= trailerSize &&
        std::memcmp(frame.Data() + size - trailerSize, kH264FrameTrailer, trailerSize) == 0)
        return size - trailerSize;
    return size;
}

}  // namespace

std::string FourCCText(uint32_t fourCC)
{
    std::string text;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = static_cast<char>((fourCC >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

bool RecordingSink::OpenFile(const std::string& path, std::string& error)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_file.reset(std::fopen(path.c_str(), "wb"));
    if (m_file == nullptr) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool RecordingSink::FileIsGood() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return !m_writeFailed;
}

bool RecordingSink::OnFrame(korvane::ipcapture::IHostFrame* frame)
{
    const HeapFrame& heapFrame = HeapFrame::Of(frame);
    const uint32_t size = heapFrame.DataSize();
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_writeFailed)
        return false;
    if (m_file != nullptr) {
        const uint32_t recorded = RecordedSize(heapFrame);
        if (std::fwrite(heapFrame.Data(), 1, recorded, m_file.get()) != recorded) {
            m_writeFailed = true;
            return false;
        }
    }
    const Clock::time_point now = Clock::now();
    if (m_statistics.frames == 0)
        m_firstFrame = now;
    ++m_statistics.frames;
    m_statistics.bytes += size;
    m_statistics.fourCC = heapFrame.FourCC();
    m_statistics.width = heapFrame.Width();
    m_statistics.height = heapFrame.Height();
    m_statistics.seconds = std::chrono::duration<double>(now - m_firstFrame).count();
    return true;
}

void RecordingSink::OnSignalLost()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    ++m_statistics.signalLosses;
}

StreamStatistics RecordingSink::Statistics() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_statistics;
}

}  // namespace tallowcam_host
