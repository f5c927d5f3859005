#include "ptz/PtzCapabilities.h"

#include <cstdlib>
#include <map>

#include "runtime/StringFormat.h"

namespace korvane {

namespace {

using ItemMap = std::map<std::string, std::string>;

// Items "name=value" separated by any of "; \t\r\n"; the first item of a name counts.
ItemMap SplitItems(const std::string& text)
{
    ItemMap items;
    size_t position = 0;
    while (position < text.size()) {
        const size_t end = text.find_first_of("; \t\r\n", position);
        const std::string item = text.substr(position, end == std::string::npos ? std::string::npos : end - position);
        const size_t equals = item.find('=');
        if (equals != std::string::npos)
            items.emplace(item.substr(0, equals), item.substr(equals + 1));
        if (end == std::string::npos)
            break;
        position = end + 1;
    }
    return items;
}

// Unsigned decimal digits only, within 32 bits.
bool ParseUnsigned(const std::string& text, uint32_t& value)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long number = std::strtoull(text.c_str(), nullptr, 10);
    if (number > UINT32_MAX)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

bool FlagValue(const ItemMap& items, const char* key)
{
    const auto found = items.find(key);
    return found != items.end() && found->second == "1";
}

void ReadRange(const ItemMap& items, const char* key, PTZ_RANGE& range)
{
    const auto found = items.find(key);
    if (found == items.end())
        return;
    const std::string& value = found->second;
    const size_t dash = value.find('-');
    if (dash == std::string::npos || value.find('-', dash + 1) != std::string::npos)
        return;
    PTZ_RANGE parsed;
    if (ParseUnsigned(value.substr(0, dash), parsed.minimum) && ParseUnsigned(value.substr(dash + 1), parsed.maximum))
        range = parsed;
}

const char* Flag(bool value)
{
    return value ? "1" : "0";
}

}  // namespace

void CPtzCapabilities::FromString(const std::string& text)
{
    const ItemMap items = SplitItems(text);
    m_pan = FlagValue(items, "Pan");
    m_tilt = FlagValue(items, "Tilt");
    m_zoom = FlagValue(items, "Zoom");
    m_focus = FlagValue(items, "Focus");
    m_iris = FlagValue(items, "Iris");
    m_areaZoom = FlagValue(items, "AreaZoom");
    m_center = FlagValue(items, "Center");
    m_unzoom = FlagValue(items, "Unzoom");
    ReadRange(items, "PanSpeed", m_panSpeed);
    ReadRange(items, "TiltSpeed", m_tiltSpeed);
    ReadRange(items, "ZoomSpeed", m_zoomSpeed);
    ReadRange(items, "IrisRange", m_irisRange);
    const auto preset = items.find("Preset");
    if (preset == items.end() || !ParseUnsigned(preset->second, m_preset))
        m_preset = 0;
}

std::string CPtzCapabilities::ToString() const
{
    return FormatString("Pan=%s; Tilt=%s; Zoom=%s; Focus=%s; Iris=%s; "
                        "PanSpeed=%u-%u;TiltSpeed=%u-%u;ZoomSpeed=%u-%u;IrisRange=%u-%u;"
                        "Center=%s; Unzoom=%s; AreaZoom=%s; Preset=%u",
                        Flag(m_pan), Flag(m_tilt), Flag(m_zoom), Flag(m_focus), Flag(m_iris),
                        m_panSpeed.minimum, m_panSpeed.maximum, m_tiltSpeed.minimum, m_tiltSpeed.maximum,
                        m_zoomSpeed.minimum, m_zoomSpeed.maximum, m_irisRange.minimum, m_irisRange.maximum,
                        Flag(m_center && (m_pan || m_tilt)), Flag(m_unzoom && m_zoom), Flag(m_areaZoom && m_zoom),
                        m_preset);
}

}  // namespace korvane
