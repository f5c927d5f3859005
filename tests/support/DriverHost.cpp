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


}  // namespace korvane::test
