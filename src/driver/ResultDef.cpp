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
    va_list args;
    va_start(args, format);
    FormatStringTo(m_text, format, args);  // without memory for the text it stays empty
    va_end(args);
}

}  // namespace korvane
