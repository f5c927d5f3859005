#include "channels/PrivacyZoneHandler.h"

#include <cstdlib>
#include <string>

#include "driver/IDriver.h"

namespace korvane {

namespace {

// The leading number of text; 0 when there is none.
double LeadingNumber(const char* text)
{
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    return end == text ? 0.0 : value;
}

}  // namespace

CPrivacyZoneHandler::CPrivacyZoneHandler(IDriver* driver, uint32_t channelIndex) : m_channelIndex(channelIndex)
{
    const std::string limits = driver->GetParameterString(kPrivacyLimitsParameter);
    m_limits[0] = LeadingNumber(limits.c_str());
    const size_t comma = limits.find(',');
    if (comma != std::string::npos)
        m_limits[1] = LeadingNumber(limits.c_str() + comma + 1);
}

}  // namespace korvane
