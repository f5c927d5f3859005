#include "driver/ResultDef.h"

#include <cstdarg>

#include "runtime/StringFormat.h"

namespace korvane {

void CResultDef::SetResult(uint32_t severity, uint32_t code, const std::string& text)
{
    m_severity = severity;
    m_code = code;
    m_text = text;
}

void CResultDef::SetResultEx(uint32_t severity, uint32_t code, const char* format, ...)
{
    m_severity = severity;
    m_code = code;
    m_text.clear();
    if (format == nullptr)
        return;
    try {
        va_list args;
        va_start(args, format);
        m_text = FormatStringV(format, args);
        va_end(args);
    } catch (...) {
        m_text = "korvane::CResultDef::SetResultEx: Unexpected exception during string formatting.";
    }
}

}  // namespace korvane
