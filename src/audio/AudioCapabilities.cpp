#include "audio/AudioCapabilities.h"

#include <cstdio>

#include "runtime/StringFormat.h"

namespace korvane {

bool CAudioCapabilities::FromString(const std::string& text)
{
    if (text.empty())
        return false;
    unsigned count = 0;
    unsigned stereo = 0;
    if (std::sscanf(text.c_str(), "Count=%u; IsStereo=%u", &count, &stereo) != 2)
        return false;
    m_channelCount = count;
    m_stereo = stereo == 1;
    return true;
}

std::string CAudioCapabilities::ToString() const
{
    return FormatString("Count=%u; IsStereo=%u", m_channelCount, m_stereo ? 1u : 0u);
}

}  // namespace korvane
