#pragma once
// Writes numbered, named device parameters into the host's result object; the
// host hands them back to the driver when it opens the camera.
#include <cstdint>
#include <string>

#include "tallowcam/CapabilityQuery.h"

namespace korvane {

class CParameterWriter {
public:
    explicit CParameterWriter(ipcapture::ICapabilityResult& result) : m_result(result) {}

    // An empty value is written as "(none)". False when the host gives no
    // parameter item.
    bool WriteText(uint32_t number, const char* name, const std::string& value);
    bool WriteNumber(uint32_t number, const char* name, uint32_t value);

private:
    bool Write(uint32_t number, const char* name, uint32_t kind, const std::string& value);

    ipcapture::ICapabilityResult& m_result;
};

}  // namespace korvane
