#include "support/DriverHost.h"

#include <algorithm>
#include <utility>

namespace korvane::test {

using namespace ipcapture;

void RecordingLogSink::OnDebugInfo(CDebugInfoIf* info)
{
    const char* text = info->GetText();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_lines.push_back({info->GetLevel(), text != nullptr ? text : ""});
}

std::vector<HostLogLine> RecordingLogSink::Lines() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_lines;
}

std::vector<HostLogLine> RecordingLogSink::LinesContaining(const std::string& part) const
{
    std::vector<HostLogLine> found;
    for (const auto& line : Lines())
        if (line.text.find(part) != std::string::npos)
            found.push_back(line);
    return found;
}

const char* SettableDriverParams::GetParameter(uint32_t index)
{
    m_asked.push_back(index);
    const auto found = parameters.find(index);
    return found != parameters.end() ? found->second.c_str() : nullptr;
}

RecordingFrame::RecordingFrame(uint32_t fourCCValue, uint32_t size, std::string name)
    : buffer(size), streamName(std::move(name)), fourCC(fourCCValue)
{
}

void RecordingFrame::SetTime(const SYSTEMTIME* value)
{
    time = *value;
}

void RecordingFrame::GetTime(SYSTEMTIME* value)
{
    *value = time;
}

RecordingFrameAllocator::~RecordingFrameAllocator()
{
    for (RecordingFrame* frame : m_outstanding)
        delete frame;
}

IHostFrame* RecordingFrameAllocator::AllocateFrame(uint32_t fourCC, uint32_t size, const char* streamName)
{
    auto* frame = new RecordingFrame(fourCC, size, streamName != nullptr ? streamName : "");
    std::lock_guard<std::mutex> guard(m_mutex);
    m_outstanding.push_back(frame);
    ++m_allocated;
    return frame;
}

IAudioData* RecordingFrameAllocator::AllocateAudioFrame(uint32_t, uint32_t, const char*)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    ++m_audioRequests;
    return nullptr;
}

void RecordingFrameAllocator::ReleaseAudioFrame(IAudioData*) {}

void RecordingFrameAllocator::ReleaseFrame(IHostFrame* frame)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    auto found = std::find(m_outstanding.begin(), m_outstanding.end(), frame);
    if (found == m_outstanding.end())
        return;
    delete *found;
    m_outstanding.erase(found);
    ++m_released;
}

uint32_t RecordingFrameAllocator::AllocatedCount() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_allocated;
}

uint32_t RecordingFrameAllocator::ReleasedCount() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_released;
}

uint32_t RecordingFrameAllocator::AudioRequestCount() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_audioRequests;
}

uint32_t RecordingFrameAllocator::OutstandingCount() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return static_cast<uint32_t>(m_outstanding.size());
}

bool RecordingFrameSink::OnFrame(IHostFrame* frame)
{
    ReceivedFrame received{frame->GetFourCC(), frame->GetWidth(), frame->GetHeight(), 0, {}, {}};
    const uint8_t* data = frame->GetBuffer();
    received.data.assign(data, data + std::min(frame->GetDataSize(), frame->GetBufferSize()));
    if (auto* recording = dynamic_cast<RecordingFrame*>(frame)) {
        received.sizeClass = recording->sizeClass;
        received.streamName = recording->streamName;
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    m_frames.push_back(std::move(received));
    return accept;
}

void RecordingFrameSink::OnSignalLost()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    ++m_signalLost;
}

std::vector<ReceivedFrame> RecordingFrameSink::Frames() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_frames;
}

uint32_t RecordingFrameSink::SignalLostCount() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_signalLost;
}

}  // namespace korvane::test
