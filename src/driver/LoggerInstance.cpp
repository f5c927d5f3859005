#include "driver/LoggerInstance.h"

#include <cstdarg>

#include "driver/IDriver.h"
#include "runtime/StringFormat.h"

namespace korvane {

void CLoggerInstance::Log(uint32_t level, const char* format, ...)
{
    std::string line;
    va_list args;
    va_start(args, format);
    FormatStringTo(line, format, args);  // a line without memory for it stays empty and is dropped
    va_end(args);
    if (line.empty())
        return;

    CAutoLock guard(m_lock);
    if (line == m_lastLine)
        return;
    ++m_repeatCounter;
    if (!ThinningAllows())
        return;
    m_lastLine.swap(line);  // no allocation here
    if (m_target != nullptr)
        m_target->DebugMessage(level, "%s", m_lastLine.c_str());
}

bool CLoggerInstance::ThinningAllows()
{
    const uint32_t n = m_repeatCounter;
    if (n < 15)
        return true;
    if (n < 255)
        return n % 16 == 0;
    if (n < 4095)
        return n % 256 == 0;
    if (n < 65535)
        return n % 4096 == 0;
    m_repeatCounter = 4095;
    return false;
}

void CLoggerInstance::ResetLastMessage()
{
    CAutoLock guard(m_lock);
    m_lastLine.clear();
}

}  // namespace korvane
