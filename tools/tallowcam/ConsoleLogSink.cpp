#include "ConsoleLogSink.h"

#include <cstdio>

namespace tallowcam_host {

namespace {

const char* LevelName(uint8_t level)
{
    switch (level) {
    case 1: return "error";
    case 2: return "warning";
    case 3: return "info";
    case 100: return "event";
    default: return "other";
    }
}

}  // namespace

void ConsoleLogSink::OnDebugInfo(korvane::ipcapture::CDebugInfoIf* info)
{
    const char* text = info->GetText();
    std::lock_guard<std::mutex> guard(m_mutex);
    if (info->GetLevel() == 1)
        m_lastError = text != nullptr ? text : "";
    if (m_printLines) {
        std::fprintf(stderr, "[%s] %s\n", LevelName(info->GetLevel()), text != nullptr ? text : "");
        std::fflush(stderr);
    }
}

std::string ConsoleLogSink::LastError() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_lastError;
}

}  // namespace tallowcam_host
