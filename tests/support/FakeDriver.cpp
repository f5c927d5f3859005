#include "support/FakeDriver.h"

#include <cstdarg>
#include <cstdlib>

#include "runtime/StringFormat.h"

namespace korvane::test {

void FakeDriver::SetCamera(const std::string& address, uint32_t port)
{
    deviceInfo.address = address;
    deviceInfo.port = port;
    m_deviceName = address + ":" + std::to_string(port);
}

void FakeDriver::DebugMessage(uint32_t level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = FormatStringV(format, args);
    va_end(args);
    AddLine(level, std::move(text));
}

void FakeDriver::GetCaptureValues(uint32_t& inputs, uint32_t& outputs)
{
    inputs = inputCount;
    outputs = outputCount;
}

std::string FakeDriver::GetParameterString(uint32_t index)
{
    auto found = parameters.find(index);
    if (found == parameters.end() || found->second == "(none)")
        return {};
    return found->second;
}

int32_t FakeDriver::GetParameterInt(uint32_t index)
{
    const std::string text = GetParameterString(index);
    if (text.empty())
        return kParameterMissing;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return (end != nullptr && *end == '\0') ? static_cast<int32_t>(value) : kParameterMissing;
}

}  // namespace korvane::test
