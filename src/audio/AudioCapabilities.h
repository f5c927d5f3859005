#pragma once
// How many audio channels a camera offers in one direction, with the text
// form "Count=%u; IsStereo=%u" kept in the host's numbered parameters.
#include <cstdint>
#include <string>

namespace korvane {

class CAudioCapabilities {
public:
    virtual ~CAudioCapabilities() = default;

    // An empty text changes nothing; otherwise both numbers must be present
    // for the record to change. True when the text was read.
    bool FromString(const std::string& text);
    std::string ToString() const;

    uint32_t m_channelCount = 0;
    bool m_stereo = false;
};

}  // namespace korvane
