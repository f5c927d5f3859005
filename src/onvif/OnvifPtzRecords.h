#pragma once
// ONVIF PTZ records: speeds and positions, presets and PTZ configurations.
#include <string>

#include "onvif/OnvifStructures.h"

namespace Onvif {

// Pan-tilt and zoom values, each in its coordinate space; a part without a
// space is not written.
class PtzVector : public CCommonStructure {
public:
    std::string ToXml() const override;
    bool Read(const korvane::CXmlParser& reply, const std::string& path) override;

    float panTiltX = 0.0f;
    float panTiltY = 0.0f;
    std::string panTiltSpace;
    float zoomX = 0.0f;
    std::string zoomSpace;
};

class PtzSpeed : public PtzVector {
};

class PtzPosition : public PtzVector {
};

class PresetNode : public CCommonNamedStructure {
public:
    // The SetPreset elements: name and token, each only when known.
    std::string ToXml() const override;
    // Fails without a token.
    bool Read(const korvane::CXmlParser& reply, const std::string& path) override;

    PtzPosition position;
};

class PTZConfiguration : public CCommonNamedStructure {
public:
    // The <tptz:PTZConfiguration> element that SetConfiguration carries.
    std::string ToXml() const override;
    bool Read(const korvane::CXmlParser& reply, const std::string& path) override;

    std::string useCount;
    std::string nodeToken;
    std::string defaultAbsolutePantTiltPositionSpace;
    std::string defaultAbsoluteZoomPositionSpace;
    std::string defaultRelativePanTiltTranslationSpace;
    std::string defaultRelativeZoomTranslationSpace;
    std::string defaultContinuousPanTiltVelocitySpace;
    std::string defaultContinuousZoomVelocitySpace;
    PtzSpeed defaultSpeed;
    std::string defaultTimeout;  // an XML duration
};

}  // namespace Onvif
