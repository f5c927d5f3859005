#include "driver/plugin/TallowcamDriver.h"

#include <new>

#include "audio/AudioCaptureChannel.h"
#include "audio/AudioOutputChannel.h"
#include "channels/H264ChannelRTSP.h"
#include "channels/JpegChannelRTSP.h"
#include "clocksync/TimeProvider.h"
#include "events/CanonMotionChannel.h"
#include "events/DigitalIO.h"
#include "ptz/CanonPTZHandler.h"

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

bool CTallowcamDriver::CreateIOApi()
{
    if (m_ioApi == nullptr)
        m_ioApi = TOwnedPtr<ICaptureIOApi>(new (std::nothrow) CDigitalIO(this), ipcapture::DeleteThroughInterface<ICaptureIOApi>);
    return m_ioApi != nullptr;
}

bool CTallowcamDriver::CreatePTZDriver()
{
    if (m_ptzHandler == nullptr)
        m_ptzHandler.reset(new (std::nothrow) CCanonPTZHandler(this));
    return m_ptzHandler != nullptr;
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

IMotionChannel* CTallowcamDriver::CreateMotionChannel(uint32_t channelIndex, IFrameSink* sink)
{
    return new (std::nothrow) CCanonMotionChannel(channelIndex, this, sink);
}

IAudioInputChannel* CTallowcamDriver::CreateAudioInputChannel(uint32_t audioId, uint32_t channelIndex,
                                                              IAudioSink* sink, uint32_t extra)
{
    return new (std::nothrow) CAudioCaptureChannel(this, channelIndex, audioId, sink, extra);
}

IAudioOutputChannel* CTallowcamDriver::CreateAudioOutputChannel(uint32_t audioId, uint32_t arg1,
                                                                IAudioStateSink* stateSink, IAudioFormatList* formats)
{
    return new (std::nothrow) CAudioOutputChannel(this, audioId, arg1, stateSink, formats);
}

}  // namespace korvane
