#include "ptz/PtzConfigurationAdjustment.h"

#include <algorithm>
#include <cmath>

#include "runtime/StringFormat.h"

namespace korvane {

namespace {

constexpr float kSpeedTolerance = 0.00001f;
constexpr uint32_t kShortestTimeoutSeconds = 2;

// "http://.../PanTiltSpaces/SpeedSpaceDegrees" with name "GenericSpeedSpace"
// becomes "http://.../PanTiltSpaces/GenericSpeedSpace". True when it changed.
bool UseGenericSpace(std::string& space, const std::string& name)
{
    const size_t slash = space.rfind('/');
    if (space.empty() || name.empty() || slash == std::string::npos)
        return false;
    const std::string current = space.substr(slash + 1);
    if (current.empty() || current == name)
        return false;
    space = space.substr(0, slash + 1) + name;
    return true;
}

bool Differs(float value, float wanted)
{
    return std::fabs(value - wanted) >= kSpeedTolerance;
}

}  // namespace

bool AdjustPtzConfiguration(Onvif::PTZConfiguration& configuration, float highestSpeed, uint32_t requestTimeoutMs)
{
    if (!configuration.IsValid())
        return false;
    UseGenericSpace(configuration.defaultAbsolutePantTiltPositionSpace, "PositionGenericSpace");
    UseGenericSpace(configuration.defaultAbsoluteZoomPositionSpace, "PositionGenericSpace");
    UseGenericSpace(configuration.defaultRelativePanTiltTranslationSpace, "TranslationGenericSpace");
    UseGenericSpace(configuration.defaultRelativeZoomTranslationSpace, "TranslationGenericSpace");
    UseGenericSpace(configuration.defaultContinuousPanTiltVelocitySpace, "VelocityGenericSpace");
    UseGenericSpace(configuration.defaultContinuousZoomVelocitySpace, "VelocityGenericSpace");

    bool changed = false;
    Onvif::PtzSpeed& speed = configuration.defaultSpeed;
    const bool panTiltSpaceReplaced = UseGenericSpace(speed.panTiltSpace, "GenericSpeedSpace");
    if (panTiltSpaceReplaced ||
        (!speed.panTiltSpace.empty() && (Differs(speed.panTiltX, highestSpeed) || Differs(speed.panTiltY, highestSpeed)))) {
        speed.panTiltX = highestSpeed;
        speed.panTiltY = highestSpeed;
        changed = true;
    }
    const bool zoomSpaceReplaced = UseGenericSpace(speed.zoomSpace, "ZoomGenericSpeedSpace");
    if (zoomSpaceReplaced || (!speed.zoomSpace.empty() && Differs(speed.zoomX, highestSpeed))) {
        speed.zoomX = highestSpeed;
        changed = true;
    }

    const std::string timeout =
        FormatString("PT%.2uS", std::max(kShortestTimeoutSeconds, requestTimeoutMs / 1000));
    if (!configuration.defaultTimeout.empty() && configuration.defaultTimeout != timeout) {
        configuration.defaultTimeout = timeout;
        changed = true;
    }
    return changed;
}

}  // namespace korvane
