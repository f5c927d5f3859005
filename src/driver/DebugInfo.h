#pragma once
// One log line as the host's log sink receives it.
#include <cstdint>
#include <memory>
#include <string>

#include "tallowcam/HostInterfaces.h"

namespace korvane {

class CDebugInfo final : public ipcapture::CDebugInfoIf {
public:
    CDebugInfo(uint8_t level, const std::string& line);
    TALLOWCAM_DELETING_DESTRUCTOR

    uint8_t GetLevel() const override { return m_level; }
    const char* GetText() const override { return m_text.get(); }

private:
    uint8_t m_level;
    std::unique_ptr<char[]> m_text;  // null for an empty line
};

}  // namespace korvane
