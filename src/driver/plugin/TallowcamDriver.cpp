#include "driver/plugin/TallowcamDriver.h"

#include <new>

#include "channels/H264ChannelRTSP.h"
#include "channels/JpegChannelRTSP.h"
#include "clocksync/TimeProvider.h"

namespace korvane {

using namespace ipcapture;

namespace {

constexpr uint32_t kRequestTimeoutMs = 5000;
constexpr uint32_t kSecondTimeoutMs = 15000;
constexpr uint32_t kVideoStandardParameter = 1;
constexpr uint32_t kFirmwareParameter = 2;
constexpr uint32_t kPtzCapabilitiesParameter = 5;

}  // namespace

CTallowcamDriver::~CTallowcamDriver()
{
    CTallowcamDriver::Close();
}

bool CTallowcamDriver::Open(IDebugInfoSink* logSink, IFrameAllocator* hostContext, IDriverParams* params)
{
    if (!CIPCaptureDriver::Open(logSink, hostContext, params))
        return false;
    GetDeviceInfo()->requestTimeoutMs = kRequestTimeoutMs;
    GetDeviceInfo()->secondTimeoutMs = kSecondTimeoutMs;
    const int32_t videoStandard = GetParameterInt(kVideoStandardParameter);
    if (videoStandard != kParameterMissing)
        SetParameter1Value(videoStandard);
    LogDriverOpened(GetParameterString(kFirmwareParameter));
    const std::string ptzCapabilities = GetParameterString(kPtzCapabilitiesParameter);
    if (!ptzCapabilities.empty())
        m_ptzCapabilities.FromString(ptzCapabilities);
    CTimeProvider::RegisterDevice(this);
    return true;
}

void CTallowcamDriver::Close()
{
    CTimeProvider::UnregisterDevice(this);
    CIPCaptureDriver::Close();
}

// The digital I/O object (CDigitalIO, given this driver) and the PTZ handler
// (CCanonPTZHandler, given this driver) are created here, once, into m_ioApi
// and m_ptzHandler/m_ptzDriver. Until those subsystems exist the driver opens
// without them, so both report that creation is possible.
bool CTallowcamDriver::CreateIOApi()
{
    return true;
}

bool CTallowcamDriver::CreatePTZDriver()
{
    return true;
}

ICameraChannel* CTallowcamDriver::CreateVideoChannel(uint32_t channelIndex, IFrameSink* sink,
                                                     ChannelSettings* settings)
{
    if (sink == nullptr || settings == nullptr)
        return nullptr;
    if (settings->codec == kCodecDefault || settings->codec == kCodecDefaultAlt)
        settings->codec = GetDefaultCodec();
    switch (settings->codec) {
    case kCodecJpeg:
        return new (std::nothrow) CJpegChannelRTSP(channelIndex, this, sink);
    case kCodecH264:
        return new (std::nothrow) CH264ChannelRTSP(channelIndex, this, sink);
    default:
        return nullptr;
    }
}

// The motion channel (CCanonMotionChannel given the channel index, this driver
// and the sink) and the audio channels (CAudioCaptureChannel and
// CAudioOutputChannel, given this driver and the four arguments) are created
// here once their subsystems exist.
IMotionChannel* CTallowcamDriver::CreateMotionChannel(uint32_t /*channelIndex*/, IFrameSink* /*sink*/)
{
    return nullptr;
}

IAudioInputChannel* CTallowcamDriver::CreateAudioInputChannel(uint32_t /*audioId*/, uint32_t /*channelIndex*/,
                                                              IAudioSink* /*sink*/, uint32_t /*extra*/)
{
    return nullptr;
}

IAudioOutputChannel* CTallowcamDriver::CreateAudioOutputChannel(uint32_t /*audioId*/, uint32_t /*arg1*/,
                                                                IAudioStateSink* /*stateSink*/,
                                                                IAudioFormatList* /*formats*/)
{
    return nullptr;
}

}  // namespace korvane
