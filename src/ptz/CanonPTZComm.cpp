#include "ptz/CanonPTZComm.h"

#include <algorithm>

#include "capabilities/CameraReply.h"
#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "driver/StreamDefaults.h"
#include "ptz/IPParams.h"
#include "ptz/PtzSpeed.h"
#include "runtime/RequestHelpers.h"
#include "runtime/StringFormat.h"

namespace korvane {

namespace {

constexpr char kControlRequest[] = "/-wvhttp-01-/control.cgi?";
constexpr char kIrisRequest[] = "/-wvhttp-01-/info.cgi?item=c.1.me.iris";
constexpr char kIrisItem[] = "c.1.me.iris";
constexpr char kUnexpectedSubtype[] = "%s: Unexpected command subtype (Type=%d, Subtype=%d)";
constexpr double kEdge = 100.0;  // relative position of the picture's edges

// "+%d" above 0, "%d" otherwise.
std::string RelativeText(double position)
{
    const int32_t value = static_cast<int32_t>(std::clamp(position, -kEdge, kEdge));
    return value > 0 ? FormatString("+%d", value) : FormatString("%d", value);
}

}  // namespace

CCanonPTZComm::CCanonPTZComm(IDriver* driver, uint16_t channel, const CPtzCapabilities& capabilities,
                             uint32_t queueLimit)
    : CBasePTZComm(driver, channel, capabilities, queueLimit),
      m_sender(*driver->GetDeviceInfo()),
      m_onvif(*driver->GetDeviceInfo())
{
}

CCanonPTZComm::~CCanonPTZComm()
{
    // The worker uses the sender: it stops before the members go.
    CBasePTZComm::Close();
}

void CCanonPTZComm::HandleWorkItem(CPTZItem& item)
{
    switch (item.m_type) {
    case PTZ_CMD_MOVE:
        ProcessMoveCommand(item);
        break;
    case PTZ_CMD_FOCUS:
        ProcessFocusCommand(item);
        break;
    case PTZ_CMD_IRIS:
        ProcessIrisCommand(item);
        break;
    case PTZ_CMD_STOP:
        ProcessStopCommand(item);
        break;
    case PTZ_CMD_AREAZOOM:
        ProcessAreaZoomCommand(item);
        break;
    case PTZ_CMD_CENTER:
        ProcessCenterCommand(item);
        break;
    default:
        DebugMessage(kLogError, "%s: unexpected command ID=%u", "korvane::CCanonPTZComm::HandleWorkItem", item.m_type);
        break;
    }
}

void CCanonPTZComm::ProcessMoveCommand(const CPTZItem& item)
{
    const CPtzCapabilities& capabilities = Capabilities();
    auto pan = [&](const char* way) {
        return FormatString("pan=%s&pan.speed.dir=%d", way, CameraSpeed(capabilities.m_panSpeed, item.m_speed));
    };
    auto tilt = [&](const char* way) {
        return FormatString("tilt=%s&tilt.speed.dir=%d", way, CameraSpeed(capabilities.m_tiltSpeed, item.m_speed));
    };
    auto zoom = [&](const char* way) {
        // Zooming puts focus and exposure back to automatic.
        SetManualFocus(item.m_params, false);
        SetManualIris(item.m_params, false);
        return FormatString("zoom=%s&zoom.speed.dir=%d", way, CameraSpeed(capabilities.m_zoomSpeed, item.m_speed));
    };

    switch (item.m_arg1) {
    case kPtzMoveLeft:
        SendControl(pan("left"));
        break;
    case kPtzMoveRight:
        SendControl(pan("right"));
        break;
    case kPtzMoveUp:
        SendControl(tilt("up"));
        break;
    case kPtzMoveDown:
        SendControl(tilt("down"));
        break;
    case kPtzMoveUpLeft:
        SendControl(tilt("up") + "&" + pan("left"));
        break;
    case kPtzMoveUpRight:
        SendControl(tilt("up") + "&" + pan("right"));
        break;
    case kPtzMoveDownLeft:
        SendControl(tilt("down") + "&" + pan("left"));
        break;
    case kPtzMoveDownRight:
        SendControl(tilt("down") + "&" + pan("right"));
        break;
    case kPtzZoomTele:
        SendControl(zoom("tele"));
        break;
    case kPtzZoomWide:
        SendControl(zoom("wide"));
        break;
    default:
        DebugMessage(kLogError, "%s: Unexpected move direction %d", "korvane::CCanonPTZComm::ProcessMoveCommand",
                     static_cast<int>(item.m_arg1));
        break;
    }
}

void CCanonPTZComm::ProcessFocusCommand(const CPTZItem& item)
{
    const char* way = item.m_subtype == PTZ_SUB_FOCUS_FAR    ? "far"
                      : item.m_subtype == PTZ_SUB_FOCUS_NEAR ? "near"
                                                             : nullptr;
    if (way == nullptr) {
        DebugMessage(kLogError, kUnexpectedSubtype, "korvane::CCanonPTZComm::ProcessFocusCommand",
                     static_cast<int>(item.m_type), static_cast<int>(item.m_subtype));
        return;
    }
    SetManualFocus(item.m_params, true);
    SendControl(FormatString("focus=%s", way));
}

void CCanonPTZComm::ProcessIrisCommand(const CPTZItem& item)
{
    const bool up = item.m_subtype == PTZ_SUB_IRIS_UP;
    if (!up && item.m_subtype != PTZ_SUB_IRIS_DOWN) {
        DebugMessage(kLogError, kUnexpectedSubtype, "korvane::CCanonPTZComm::ProcessIrisCommand",
                     static_cast<int>(item.m_type), static_cast<int>(item.m_subtype));
        return;
    }
    // A step from an unknown value would set an arbitrary iris.
    uint32_t current = 0;
    if (!ReadIris(current))
        return;
    const PTZ_RANGE& range = Capabilities().m_irisRange;
    if (up ? current >= range.maximum : current <= range.minimum)
        return;
    SetManualIris(item.m_params, true);
    SendControl(FormatString("c.1.me.iris=%u", up ? current + 1 : current - 1));
}

void CCanonPTZComm::ProcessStopCommand(const CPTZItem& item)
{
    switch (item.m_subtype) {
    case PTZ_SUB_STOP_PANTILT:
        SendControl("pan=stop&tilt=stop");
        break;
    case PTZ_SUB_STOP_ZOOM:
        SendControl("zoom=stop");
        break;
    case PTZ_SUB_STOP_FOCUS:
        SendControl("focus=stop");
        break;
    default:  // the iris stops by itself after each step
        break;
    }
}

void CCanonPTZComm::ProcessCenterCommand(const CPTZItem& item)
{
    std::string pan;
    std::string tilt;
    if (RelativePosition("korvane::CCanonPTZComm::ProcessCenterCommand", item, pan, tilt))
        SendControl(FormatString("pan=v%s&tilt=v%s", pan.c_str(), tilt.c_str()));
}

void CCanonPTZComm::ProcessAreaZoomCommand(const CPTZItem& item)
{
    const char* operation = "korvane::CCanonPTZComm::ProcessAreaZoomCommand";
    // The zoom value is the area's size in per cent of the picture.
    if (item.m_arg3 <= 0) {
        DebugMessage(kLogWarning, "%s: Invalid zoom value %d for device %s; the command is skipped", operation,
                     static_cast<int>(item.m_arg3), GetDeviceName());
        return;
    }
    std::string pan;
    std::string tilt;
    if (!RelativePosition(operation, item, pan, tilt))
        return;
    const int32_t zoom = static_cast<int32_t>(100.0 / (item.m_arg3 / 100.0));
    SendControl(FormatString("pan=v%s&tilt=v%s&zoom=v+%d", pan.c_str(), tilt.c_str(), static_cast<int>(zoom)));
}

bool CCanonPTZComm::SetManualFocus(IIPParams* params, bool manual)
{
    return SetManualMode("korvane::CCanonPTZComm::SetManualFocus", params, manual, &IIPParams::GetManualFocus,
                         &IIPParams::SetManualFocus, "focus");
}

bool CCanonPTZComm::SetManualIris(IIPParams* params, bool manual)
{
    return SetManualMode("korvane::CCanonPTZComm::SetManualIris", params, manual, &IIPParams::GetManualIris,
                         &IIPParams::SetManualIris, "exp");
}

bool CCanonPTZComm::SetManualMode(const char* operation, IIPParams* params, bool manual, ModeGetter get,
                                  ModeSetter set, const char* requestName)
{
    if (params == nullptr) {
        DebugMessage(kLogDebug, "%s: Invalid pointer to IIPParams instance!", operation);
        return false;
    }
    if ((params->*get)() == manual)
        return true;
    (params->*set)(manual);
    return SendControl(FormatString("%s=%s", requestName, manual ? "manual" : "auto"));
}

bool CCanonPTZComm::RelativePosition(const char* operation, const CPTZItem& item, std::string& pan, std::string& tilt)
{
    const PictureSize size = Driver().GetStreamDefaults()->GetPictureSize();
    if (!size.IsKnown()) {
        DebugMessage(kLogWarning, "%s: The picture size of device %s is not known yet; the command is skipped",
                     operation, GetDeviceName());
        return false;
    }
    const double halfWidth = size.width / 2.0;
    const double halfHeight = size.height / 2.0;
    pan = RelativeText((item.m_arg1 - halfWidth) * 100 / halfWidth);
    tilt = RelativeText((halfHeight - item.m_arg2) * 100 / halfHeight);
    return true;
}

bool CCanonPTZComm::ReadIris(uint32_t& value)
{
    std::vector<uint8_t> body;
    if (!SendGet(kIrisRequest, body))
        return false;
    const std::string reply(body.begin(), body.end());
    const std::string text = GetValue(reply, kIrisItem, ":=", kReplyLineSeparators);
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
        value = GetUIntValue(reply, kIrisItem, ":=", kReplyLineSeparators);
        return true;
    }
    DebugMessage(kLogWarning, "%s: The reply of device %s to \"%s\" holds no iris value",
                 "korvane::CCanonPTZComm::ProcessIrisCommand", GetDeviceName(), kIrisRequest);
    return false;
}

bool CCanonPTZComm::SendControl(const std::string& query)
{
    std::vector<uint8_t> body;
    return SendGet(kControlRequest + query, body);
}

bool CCanonPTZComm::SendGet(const std::string& path, std::vector<uint8_t>& body)
{
    const CResultDef result = HUtils::RequestGetRD(m_sender, path, body);
    if (!result.IsSuccess())
        DebugMessage(result.m_severity, "%s", result.m_text.c_str());
    return result.IsSuccess();
}

}  // namespace korvane
