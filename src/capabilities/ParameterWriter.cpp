#include "capabilities/ParameterWriter.h"

#include <string>

namespace korvane {

bool CParameterWriter::WriteText(uint32_t number, const char* name, const std::string& value)
{
    return Write(number, name, ipcapture::kParameterKindText, value);
}

bool CParameterWriter::WriteNumber(uint32_t number, const char* name, uint32_t value)
{
    return Write(number, name, ipcapture::kParameterKindNumber, std::to_string(value));
}

bool CParameterWriter::Write(uint32_t number, const char* name, uint32_t kind, const std::string& value)
{
    ipcapture::ICapabilityParameter* parameter = m_result.AddParameter(number);
    if (parameter == nullptr)
        return false;
    parameter->SetName(name);
    parameter->SetAttribute(0);
    parameter->SetKind(kind);
    parameter->SetValue(value.empty() ? "(none)" : value.c_str());
    return true;
}

}  // namespace korvane
