#include "channels/H264ChannelRTSP.h"

#include "capabilities/CameraReply.h"
#include "driver/IDriver.h"
#include "driver/StreamDefaults.h"
#include "runtime/Configuration.h"
#include "runtime/StringFormat.h"

namespace korvane {

namespace {

constexpr uint32_t kLimitedFramesPerSecond = 15;
constexpr uint32_t kTwoStreamMode = 2;
constexpr uint32_t kOneStreamMode = 1;

uint32_t SettingValue(const std::string& reply, const std::string& code)
{
    return GetUIntValue(reply, SettingsValueKey(code), kSettingsSeparator, kReplyLineSeparators);
}

}  // namespace

CH264ChannelRTSP::CH264ChannelRTSP(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink)
    : CCommonChannel(channelIndex, driver, frameSink)
{
}

CH264ChannelRTSP::~CH264ChannelRTSP()
{
    Stop();
    const uint32_t streamNumber = Params().streamNumber;
    if (streamNumber == kStreamRec || streamNumber == kStreamLive)
        m_driver->GetStreamDefaults()->ClearPictureSize(streamNumber);
}

uint32_t CH264ChannelRTSP::CameraStreamIndex() const
{
    return m_cameraType == kCameraTypeTwoStreams && Params().streamNumber == kStreamLive ? 1 : 0;
}

bool CH264ChannelRTSP::ConfigureCamera()
{
    std::string request = "/admin/-set-?em=2&pt=8";
    bool switchToTwoStreams = false;
    if (m_cameraType == kCameraTypeTwoStreams) {
        std::string reply;
        if (Params().streamNumber == kStreamLive) {
            if (!RequestText("/admin/-set-?el=dh10&el=dh03-0&el=dh04-0", reply))
                return false;
            if (SettingValue(reply, "dh10") == kOneStreamMode)
                switchToTwoStreams = true;
            else
                request += "&ig10-3=5";
            AdjustForMainStream(reply, request);
        } else {
            if (!RequestText("/admin/-set-?el=dh10&el=dh03-1&el=dh04-1", reply))
                return false;
            AdjustForSecondStream(reply, request);
            request += "&ig10-4=4";
        }
    }
    if (m_cameraType == kCameraTypeFullHd) {
        ChangeParams([](ChannelSettings& params) {
            if (params.width < 480) {
                params.width = 480;
                params.height = 270;
            }
        });
    }
    const ChannelSettings params = Params();
    const uint32_t stream = CameraStreamIndex();
    AppendBitrateOrQuality(stream, params.quality, request);
    request += FormatString("&dh03-%u=%u", stream, ResolutionCode(params.width, params.height));
    request += FormatString("&dh04-%u=%u", stream, FrameRateCode(m_cameraType, FramesPerSecond(params.frameRate)));
    if (m_cameraType == kCameraTypeTwoStreams)
        request += FormatString("&dh05-%u=1", stream);
    else if (m_cameraType == kCameraTypeFullHd)
        request += "&dh05=1";

    if (!SendSettings(request))
        return false;
    if (!switchToTwoStreams)
        return true;
    return SendSettings("/admin/-set-?em=2&pt=8&dh10=2") && SendSettings("/admin/-set-?em=2&pt=8&ig10-3=5");
}

void CH264ChannelRTSP::AppendBitrateOrQuality(uint32_t stream, uint32_t quality, std::string& request)
{
    switch (CConfiguration(*m_driver).GetBitrateMode()) {
    case kBitrateVariable:
        request += FormatString("&dh00-%u=0&dh01-%u=%u", stream, stream, QualityLevel(quality, m_qualityLevels));
        break;
    case kBitrateOff:
        break;
    default:
        request += FormatString("&dh00-%u=1&dh02-%u=%u", stream, stream, BitrateCode(m_cameraType, quality));
        break;
    }
}

void CH264ChannelRTSP::AdjustForMainStream(const std::string& reply, std::string& request)
{
    LimitFrameRates(reply, "-0", request);
}

void CH264ChannelRTSP::AdjustForSecondStream(const std::string& reply, std::string& request)
{
    if (SettingValue(reply, "dh10") == kTwoStreamMode)
        LimitFrameRates(reply, "-1", request);
}

void CH264ChannelRTSP::LimitFrameRates(const std::string& reply, const std::string& other, std::string& request)
{
    if (!NeedsFrameRateLimit(SettingValue(reply, "dh03" + other)))
        return;
    ChangeParams([](ChannelSettings& params) {
        if (FramesPerSecond(params.frameRate) > kLimitedFramesPerSecond)
            params.frameRate = FrameRateValue(kLimitedFramesPerSecond);
    });
    if (SettingValue(reply, "dh04" + other) == 0)
        request += "&dh04" + other + "=1";
}

bool CH264ChannelRTSP::NeedsFrameRateLimit(uint32_t otherStreamCode) const
{
    const uint32_t* highResCodes = m_driver->GetStreamDefaults()->m_highResCodes;  // 1920x1080, 1280x960, 1280x720
    const ChannelSettings params = Params();
    const uint32_t width = params.width;
    const uint32_t height = params.height;
    return (width == 1920 && height == 1080) || otherStreamCode == highResCodes[0] ||
           (width == 1280 && height == 960 && otherStreamCode == highResCodes[1]) ||
           (width == 1280 && height == 720 && otherStreamCode == highResCodes[2]);
}

std::string CH264ChannelRTSP::StreamPath(const std::string& mode)
{
    switch (m_cameraType) {
    case kCameraTypeBasic:
        return "profile1=" + mode;
    case kCameraTypeFullHd:
        return "stream/profile1=" + mode;
    case kCameraTypeTwoStreams:
        return FormatString("rtpstream/config%u=", Params().streamNumber == kStreamLive ? 4u : 5u) + mode;
    default:
        return std::string();
    }
}

}  // namespace korvane
