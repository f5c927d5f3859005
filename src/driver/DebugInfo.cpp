#include "driver/DebugInfo.h"

#include <cstring>

namespace korvane {

CDebugInfo::CDebugInfo(uint8_t level, const std::string& line) : m_level(level)
{
    if (line.empty())
        return;
    m_text = std::make_unique<char[]>(line.size() + 1);
    std::memcpy(m_text.get(), line.c_str(), line.size() + 1);
}

}  // namespace korvane
