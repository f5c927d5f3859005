#pragma once
// Privacy zones of one video channel: the camera's two privacy-zone limits
// (host parameter 6, "first,second") and eight zone slots, all empty.
#include <array>
#include <cstddef>
#include <cstdint>

namespace korvane {

class IDriver;

struct PRIVACY_ZONE {
    bool used = false;
    uint32_t left = 0;
    uint32_t top = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

class CPrivacyZoneHandler {
public:
    static constexpr uint32_t kPrivacyLimitsParameter = 6;
    static constexpr size_t kZoneCount = 8;

    CPrivacyZoneHandler(IDriver* driver, uint32_t channelIndex);

    uint32_t GetChannelIndex() const { return m_channelIndex; }
    // 0 when the parameter is missing or its number cannot be read.
    double GetFirstLimit() const { return m_limits[0]; }
    double GetSecondLimit() const { return m_limits[1]; }
    const std::array<PRIVACY_ZONE, kZoneCount>& GetZones() const { return m_zones; }

private:
    uint32_t m_channelIndex;
    double m_limits[2] = {0.0, 0.0};
    std::array<PRIVACY_ZONE, kZoneCount> m_zones{};
};

}  // namespace korvane
