#include "support/DriverHost.h"

namespace korvane::test {

using namespace ipcapture;

std::vector<LogLine> LogRecord::LinesContaining(const std::string& part) const
{
    std::vector<LogLine> found;
    for (const auto& line : Lines())
        if (line.text.find(part) != std::string::npos)
            found.push_back(line);
    return found;
}

void RecordingLogSink::OnDebugInfo(CDebugInfoIf* info)
{
    const char* text = info->GetText();
    AddLine(info->GetLevel(), text != nullptr ? text : "");
}

const char* SettableDriverParams::GetParameter(uint32_t index)
{
    m_asked.push_back(index);
    const auto found = parameters.find(index);
    return found != parameters.end() ? found->second.c_str() : nullptr;
}

SettableStreamRequest StreamRequest(uint32_t codec, uint32_t width, uint32_t height, uint32_t framesPerSecond,
                                    uint32_t quality)
{
    SettableStreamRequest request;
    request.format.codec = codec;
    request.format.resolution.width = width;
    request.format.resolution.height = height;
    request.rate.frameRate = 0x7000 + framesPerSecond;
    request.rate.quality = quality;
    return request;
}

}  // namespace korvane::test
