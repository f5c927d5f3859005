#include "capabilities/CanonCameraProperties.h"

#include <algorithm>
#include <set>

#include "capabilities/CameraReply.h"
#include "capabilities/ParameterWriter.h"
#include "runtime/RequestHelpers.h"
#include "runtime/StopScope.h"
#include "runtime/StringFormat.h"

namespace korvane {

namespace {

constexpr const char* kInformationRequest = "/-wvhttp-01-/info.cgi";
constexpr const char* kMacAddressCode = "ra02";
constexpr const char* kSecondStreamCode = "dh10";
constexpr const char* kFrameRateTypeCode = "dh04";
constexpr const char* kQualityTypeCode = "dh01";
constexpr uint32_t kHttpUnauthorized = 401;
constexpr uint32_t kCanonPresetCount = 20;

// "<width>x<height>" with decimal numbers; false for anything else.
bool ParseResolution(const std::string& text, uint32_t& width, uint32_t& height)
{
    const std::vector<std::string> sides = Split(text, 'x');
    if (sides.size() != 2)
        return false;
    uint32_t numbers[2];
    for (size_t i = 0; i < 2; ++i) {
        if (sides[i].empty() || sides[i].size() > 5 || sides[i].find_first_not_of("0123456789") != std::string::npos)
            return false;
        numbers[i] = static_cast<uint32_t>(std::stoul(sides[i]));
    }
    width = numbers[0];
    height = numbers[1];
    return true;
}

// Decimal digits only; anything else gives 0.
uint32_t DigitsValue(const std::string& text)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return static_cast<uint32_t>(std::stoul(text));
}

uint32_t StatusFromResult(uint32_t code)
{
    switch (code) {
    case kResultNotFound:
        return ipcapture::kCapabilityStatusNotFound;
    case kResultUnauthorized:
        return ipcapture::kCapabilityStatusCredentials;
    case kResultUnreachable:
        return ipcapture::kCapabilityStatusUnreachable;
    default:
        return ipcapture::kCapabilityStatusOther;
    }
}

}  // namespace

CCanonCameraProperties::CCanonCameraProperties(const DEVICE_INFO& device, uint32_t videoStandard)
    : CBaseCameraProperties(device, videoStandard), m_sender(device)
{
}

void CCanonCameraProperties::Abort()
{
    CBaseCameraProperties::Abort();
    m_sender.Abort();
}

bool CCanonCameraProperties::ListProperties(CParameterWriter& list) const
{
    return list.WriteNumber(1, "Video standard", m_videoStandard) &&
           list.WriteText(2, "Firmware", m_firmware) && list.WriteNumber(3, "Camera Type", m_cameraType) &&
           list.WriteText(4, "MAC Address", m_macAddress) && list.WriteText(5, "PTZ Capabilities", m_ptz.ToString()) &&
           list.WriteText(6, "Privacy limits", FormatString("%.2f,%.2f", m_privacyLimits[0], m_privacyLimits[1])) &&
           list.WriteNumber(7, "Max quality value", m_maxQuality);
}

CResultDef CCanonCameraProperties::Query(uint32_t& status)
{
    m_result = CResultDef();
    CStopScope scope([this] { return IsAbortRequested(); });
    using Step = void (CCanonCameraProperties::*)();
    for (Step step : {&CCanonCameraProperties::CheckCredentials, &CCanonCameraProperties::ReadInformation,
                      &CCanonCameraProperties::ReadHardware, &CCanonCameraProperties::ReadVideo,
                      &CCanonCameraProperties::RepeatCredentialsRequest, &CCanonCameraProperties::ReadPeripherals,
                      &CCanonCameraProperties::SetFeatureFlags}) {
        if (!CanContinue())
            break;
        (this->*step)();
    }
    ReportOutcome(status);
    m_lastResult = m_result;
    return m_result;
}

bool CCanonCameraProperties::CanContinue() const
{
    return !IsAbortRequested() && m_result.IsSuccess();
}

void CCanonCameraProperties::CheckCredentials()
{
    std::string reply;
    if (!HUtils::RequestGetText(m_sender, SettingsValueRequest(kMacAddressCode), reply)) {
        if (m_sender.GetStatusCode() == kHttpUnauthorized)
            m_result.SetResult(1, kResultUnauthorized, "");
        return;
    }
    const std::string mac = GetValue(reply, SettingsValueKey(kMacAddressCode), kSettingsSeparator, kReplyLineSeparators);
    m_macAddress = ReplaceAll(mac, "%3A", ":");
}

void CCanonCameraProperties::RepeatCredentialsRequest()
{
    std::string ignored;
    HUtils::RequestGetText(m_sender, SettingsValueRequest(kMacAddressCode), ignored);
}

void CCanonCameraProperties::ReadInformation()
{
    std::vector<uint8_t> body;
    m_result = HUtils::RequestGetRD(m_sender, kInformationRequest, body);
    const auto end = std::find(body.begin(), body.end(), uint8_t{0});
    m_information.assign(body.begin(), end);
}

void CCanonCameraProperties::ReadHardware()
{
    const std::string hardware = InfoValue("s.hardware");
    if (hardware.empty()) {
        m_result.SetResult(1, kResultUnparsable, "Unable to parse hardware parameter");
        return;
    }
    m_vendor = "Canon";
    const size_t maker = hardware.find("Canon");
    if (maker != std::string::npos)
        m_model = StripBlanks(hardware.substr(maker + 5));
    m_firmware = InfoValue("s.firmware");
    m_hasHardware = true;
}

void CCanonCameraProperties::ReadVideo()
{
    m_cameraCount = std::max<uint32_t>(InfoNumber("c.count"), 1);
    if (!RequestSettingValue(kSecondStreamCode).empty()) {
        ++m_streamCount;
        m_cameraType = 3;
    }
    const std::string videoList = InfoValue("v.list");
    std::set<std::string> resolutions;  // ordered character by character
    for (const std::string& entry : Split(videoList, ',')) {
        const std::vector<std::string> parts = Split(entry, ':');
        if (parts.size() > 1)
            resolutions.insert(parts[1]);
    }
    if (resolutions.empty()) {
        m_result.SetResult(1, kResultUnparsable, "Unable to parse video settings");
        return;
    }
    AddVideoModes({resolutions.begin(), resolutions.end()}, videoList);
}

void CCanonCameraProperties::AddVideoModes(const std::vector<std::string>& resolutions,
                                                  const std::string& videoList)
{
    const uint32_t maximumFrameRate = ReadMaximumFrameRate();
    ReadCodecs(videoList);
    const uint32_t groups = std::min<uint32_t>(m_streamCount, kStreamGroupCount);
    for (const std::string& text : resolutions) {
        uint32_t width = 0;
        uint32_t height = 0;
        if (!ParseResolution(text, width, height))
            continue;
        if (width == 1920 && height == 1080 && m_cameraType == 1)
            m_cameraType = 2;
        for (uint32_t group = 0; group < groups; ++group)
            AddResolution(width, height, maximumFrameRate, group);
    }
    for (uint32_t group = 0; group < groups; ++group)
        SetFrameRates(group, maximumFrameRate);
}

uint32_t CCanonCameraProperties::ReadMaximumFrameRate()
{
    const std::vector<std::string> range = RequestSettingType(kFrameRateTypeCode);
    return range.size() == 2 && range[0] == "1" ? 15 : 30;
}

void CCanonCameraProperties::ReadCodecs(const std::string& videoList)
{
    if (videoList.find("h264") != std::string::npos) {
        AddCodec(kCapabilityCodecH264, kMainStreamGroup);
        if (m_cameraType == 3)
            AddCodec(kCapabilityCodecH264, kLiveStreamGroup);
    }
    if (videoList.find("mpeg") != std::string::npos)
        AddCodec(kCapabilityCodecMpeg4, kMainStreamGroup);
    if (videoList.find("jpg") != std::string::npos) {
        for (uint32_t group = 0; group < kStreamGroupCount; ++group)
            AddCodec(kCapabilityCodecJpeg, group);
        m_streamCount = kStreamGroupCount;
    }
}

void CCanonCameraProperties::ReadPeripherals()
{
    const uint32_t audioChannels = InfoNumber("a.count");
    if (audioChannels != 0) {
        m_audioInput.m_channelCount = audioChannels;
        m_audioOutput.m_channelCount = audioChannels;
    }
    m_inputCount = InfoNumber("i.count");
    m_outputCount = InfoNumber("o.count");
    ReadPtz();
    ReadQuality();
}

void CCanonCameraProperties::ReadPtz()
{
    m_ptz.m_pan = !InfoValue("c.1.pan").empty();
    m_ptz.m_tilt = !InfoValue("c.1.tilt").empty();
    if (!m_ptz.m_pan || !m_ptz.m_tilt)
        return;
    m_hasPtz = true;
    m_ptz.m_zoom = !InfoValue("c.1.zoom").empty();
    m_ptz.m_focus = !InfoValue("c.1.focus").empty();
    m_ptz.m_panSpeed = {InfoNumber("c.1.pan.speed.min"), InfoNumber("c.1.pan.speed.max")};
    m_ptz.m_tiltSpeed = {InfoNumber("c.1.tilt.speed.min"), InfoNumber("c.1.tilt.speed.max")};
    if (m_ptz.m_zoom)
        m_ptz.m_zoomSpeed = {InfoNumber("c.1.zoom.speed.min"), InfoNumber("c.1.zoom.speed.max")};
    m_ptz.m_irisRange = {InfoNumber("c.1.me.iris.min"), InfoNumber("c.1.me.iris.max")};
    m_ptz.m_iris = m_ptz.m_irisRange.minimum != 0 && m_ptz.m_irisRange.maximum != 0;
    // Canon cameras zoom to an area and centre on a point, but cannot unzoom.
    m_ptz.m_areaZoom = true;
    m_ptz.m_center = true;
    m_ptz.m_preset = kCanonPresetCount;
}

void CCanonCameraProperties::ReadQuality()
{
    const std::vector<std::string> range = RequestSettingType(kQualityTypeCode);
    if (range.size() == 2)
        m_maxQuality = DigitsValue(range[1]);
}

void CCanonCameraProperties::SetFeatureFlags()
{
    if (m_cameraType == 1)
        return;
    m_firstFeature = true;
    m_secondFeature = true;
}

void CCanonCameraProperties::ReportOutcome(uint32_t& status)
{
    if (IsAbortRequested())
        m_result.SetResult(2, kResultAborted, "Capability search query was aborted");
    else if (!m_result.IsSuccess())
        status = StatusFromResult(m_result.m_code);
}

std::string CCanonCameraProperties::InfoValue(const std::string& key) const
{
    return GetValue(m_information, key, kInfoSeparator, kReplyLineSeparators);
}

uint32_t CCanonCameraProperties::InfoNumber(const std::string& key) const
{
    return GetUIntValue(m_information, key, kInfoSeparator, kReplyLineSeparators);
}

std::string CCanonCameraProperties::RequestSettingValue(const std::string& code)
{
    std::string reply;
    if (!HUtils::RequestGetText(m_sender, SettingsValueRequest(code), reply))
        return {};
    return GetValue(reply, SettingsValueKey(code), kSettingsSeparator, kReplyLineSeparators);
}

std::vector<std::string> CCanonCameraProperties::RequestSettingType(const std::string& code)
{
    std::string reply;
    if (!HUtils::RequestGetText(m_sender, SettingsTypeRequest(code), reply))
        return {};
    return ParseSettingsType(GetValue(reply, SettingsTypeKey(code), kSettingsSeparator, kReplyLineSeparators));
}

}  // namespace korvane
