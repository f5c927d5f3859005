#pragma once
// What a PTZ camera can do, with the one-line text form that travels between
// the capability query, the host's stored settings and the driver.
#include <cstdint>
#include <string>

namespace korvane {

struct PTZ_RANGE {
    uint32_t minimum = 0;
    uint32_t maximum = 0;
};

class CPtzCapabilities {
public:
    CPtzCapabilities() = default;
    CPtzCapabilities(const CPtzCapabilities&) = default;
    CPtzCapabilities& operator=(const CPtzCapabilities&) = default;
    virtual ~CPtzCapabilities() = default;

    // Reads "Pan=1; Tilt=1; ... PanSpeed=1-100;... Preset=20". Flags and the
    // preset count are set from the text (missing: false, 0); a range keeps
    // its values unless the text gives it as "min-max".
    void FromString(const std::string& text);
    // Centre needs pan or tilt, unzoom and area zoom need zoom.
    std::string ToString() const;

    bool m_pan = false;
    bool m_tilt = false;
    bool m_zoom = false;
    bool m_focus = false;
    bool m_iris = false;
    bool m_areaZoom = false;
    bool m_center = false;
    bool m_unzoom = false;
    PTZ_RANGE m_panSpeed;
    PTZ_RANGE m_tiltSpeed;
    PTZ_RANGE m_zoomSpeed;
    PTZ_RANGE m_irisRange;
    uint32_t m_preset = 0;  // presets the camera stores
};

}  // namespace korvane
