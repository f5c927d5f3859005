#include "support/FrameHost.h"

#include <algorithm>

namespace korvane::test {

CRecordingFrame::CRecordingFrame(uint32_t fourCC, uint32_t bufferSize, std::string streamName) : m_buffer(bufferSize)
{
    m_record.fourCC = fourCC;
    m_record.streamName = std::move(streamName);
}

void CRecordingFrame::SetDataSize(uint32_t size)
{
    m_dataSize = size;
    m_record.calls.push_back("SetDataSize");
}

void CRecordingFrame::SetTime(const SYSTEMTIME* time)
{
    m_record.time = *time;
    m_record.calls.push_back("SetTime");
}

void CRecordingFrame::SetFourCC(uint32_t fourCC)
{
    m_record.fourCC = fourCC;
    m_record.calls.push_back("SetFourCC");
}

void CRecordingFrame::SetHeight(uint32_t height)
{
    m_record.height = height;
    m_record.calls.push_back("SetHeight");
}

void CRecordingFrame::SetWidth(uint32_t width)
{
    m_record.width = width;
    m_record.calls.push_back("SetWidth");
}

void CRecordingFrame::SetSizeClass(uint32_t sizeClass)
{
    m_record.sizeClass = sizeClass;
    m_record.calls.push_back("SetSizeClass");
}

DeliveredFrame CRecordingFrame::Snapshot() const
{
    DeliveredFrame frame = m_record;
    const size_t size = std::min<size_t>(m_dataSize, m_buffer.size());
    frame.bytes.assign(m_buffer.begin(), m_buffer.begin() + size);
    return frame;
}

ipcapture::IHostFrame* CFrameHost::AllocateFrame(uint32_t fourCC, uint32_t size, const char* streamName)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastAllocationSize = size;
    if (m_refuseAllocations)
        return nullptr;
    ++m_allocations;
    const uint32_t bufferSize = size > m_shortfall ? size - m_shortfall : 0;
    m_live.push_back(std::make_unique<CRecordingFrame>(fourCC, bufferSize, streamName ? streamName : ""));
    return m_live.back().get();
}

ipcapture::IAudioData* CFrameHost::AllocateAudioFrame(uint32_t, uint32_t, const char*)
{
    return nullptr;
}

void CFrameHost::ReleaseAudioFrame(ipcapture::IAudioData*) {}

void CFrameHost::ReleaseFrame(ipcapture::IHostFrame* frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = std::find_if(m_live.begin(), m_live.end(), [frame](const auto& live) { return live.get() == frame; });
    if (found == m_live.end())
        return;  // not ours or released twice: Releases() stays short and the test sees it
    m_live.erase(found);
    ++m_releases;
}

bool CFrameHost::OnFrame(ipcapture::IHostFrame* frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_accept)
        return false;
    ++m_frameCount;
    if (m_keepFrames)
        m_frames.push_back(static_cast<CRecordingFrame*>(frame)->Snapshot());
    return true;
}

void CFrameHost::OnSignalLost()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_signalLost;
}

void CFrameHost::SetAcceptFrames(bool accept)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_accept = accept;
}

void CFrameHost::SetRefuseAllocations(bool refuse)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refuseAllocations = refuse;
}

void CFrameHost::SetBufferShortfall(uint32_t bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shortfall = bytes;
}

void CFrameHost::SetKeepFrames(bool keep)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_keepFrames = keep;
}

std::vector<DeliveredFrame> CFrameHost::Frames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
}

size_t CFrameHost::FrameCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frameCount;
}

size_t CFrameHost::Allocations() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_allocations;
}

size_t CFrameHost::Releases() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_releases;
}

size_t CFrameHost::OutstandingFrames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_live.size();
}

size_t CFrameHost::SignalLostCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_signalLost;
}

uint32_t CFrameHost::LastAllocationSize() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastAllocationSize;
}

}  // namespace korvane::test
