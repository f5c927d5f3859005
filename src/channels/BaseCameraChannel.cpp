#include "channels/BaseCameraChannel.h"

#include <cctype>

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "platform/Time.h"
#include "runtime/StopScope.h"
#include "runtime/StringFormat.h"

namespace korvane {

namespace {

constexpr uint32_t kNoChannel = 0x123456;

const char* RoleText(uint32_t streamNumber)
{
    switch (streamNumber) {
    case kStreamRec:
        return "(Rec)";
    case kStreamLive:
        return "(Live)";
    case kStreamRemote:
        return "(Remote)";
    default:
        return "";
    }
}

}  // namespace

CBaseCameraChannel::CBaseCameraChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink)
    : m_driver(driver), m_frameSink(frameSink), m_channelIndex(channelIndex)
{
}

CBaseCameraChannel::~CBaseCameraChannel()
{
    Stop();
}

bool CBaseCameraChannel::Start(const ChannelSettings& settings)
{
    Stop();
    ChangeParams([&](ChannelSettings& params) { params = settings; });
    m_sockets.Acquire();
    if (StartThread())
        return true;
    m_sockets.Release();
    return false;
}

void CBaseCameraChannel::Stop()
{
    SetState(kChannelStopped);
    SetCameraState(false);
    StopThread();
    m_sockets.Release();
}

bool CBaseCameraChannel::ChangeSettings(const ChannelSettings& settings)
{
    ChangeParams([&](ChannelSettings& params) {
        const uint32_t quality = params.quality;
        params = settings;
        params.quality = quality;
    });
    CStopScope scope([this] { return IsStopRequested(); });  // a host thread: the stop ends its requests too
    return ApplyParams();
}

ChannelSettings CBaseCameraChannel::Params() const
{
    CAutoLock guard(m_paramsLock);
    return m_params;
}

uint32_t CBaseCameraChannel::GetState()
{
    CAutoLock guard(m_stateLock);
    return m_state;
}

void CBaseCameraChannel::SetState(uint32_t state)
{
    CAutoLock guard(m_stateLock);
    m_state = state;
}

uint32_t CBaseCameraChannel::ThreadEntry(CBaseCameraChannel* channel)
{
    if (channel == nullptr)
        return kNoChannel;
    CStopScope scope([channel] { return channel->IsStopRequested(); });
    return channel->Run();
}

bool CBaseCameraChannel::StartThread()
{
    if (!m_threadLock.TryLock())
        return false;
    bool started = false;
    if (!m_thread.IsAttached()) {
        m_stopEvent.Reset();
        started = m_thread.Start([this] { ThreadEntry(this); });
    }
    m_threadLock.Unlock();
    return started;
}

void CBaseCameraChannel::StopThread()
{
    m_stopEvent.Set();
    CAutoLock guard(m_threadLock);
    if (!m_thread.IsAttached())
        return;
    OnStopThread();
    if (m_thread.IsCurrent())
        return;  // the capture thread itself: it ends when its body returns
    const uint32_t timeoutMs = 2 * m_driver->GetDeviceInfo()->requestTimeoutMs;
    if (!m_thread.Join(timeoutMs)) {
        m_driver->DebugMessage(kLogWarning, "%s: Video capture thread for %s cannot be stopped and will be terminated now",
                               "korvane::CBaseCameraChannel::StopThread", DeviceName(false).c_str());
        // Threads are not terminated forcibly: every wait of the body is bounded.
        m_thread.Join(kInfiniteWait);
    }
}

std::string CBaseCameraChannel::DeviceName(bool capitalised)
{
    const std::string& address = m_driver->GetDeviceInfo()->address;
    if (m_driver->GetChannelCount() > 1)
        return FormatString(capitalised ? "Video-server %s (channel %u)" : "video-server %s (channel %u)",
                            address.c_str(), m_channelIndex);
    return FormatString(capitalised ? "Camera %s" : "camera %s", address.c_str());
}

void CBaseCameraChannel::SetCameraState(bool online)
{
    if (m_online.exchange(online) == online)
        return;
    const char* operation = "korvane::CBaseCameraChannel::SetCameraState";
    const char* role = RoleText(Params().streamNumber);
    if (online) {
        m_driver->DebugMessage(kLogInfo, "%s: %s is online %s", operation, DeviceName(true).c_str(), role);
        return;
    }
    switch (GetState()) {
    case kChannelSignalLost:
        m_driver->DebugMessage(kLogError, "%s: Signal was lost for %s %s", operation, DeviceName(false).c_str(), role);
        break;
    case kChannelStopped:
        m_driver->DebugMessage(kLogInfo, "%s: %s is offline. Channel was stopped %s", operation,
                               DeviceName(true).c_str(), role);
        break;
    default:
        m_driver->DebugMessage(kLogError, "%s: %s is offline or failed %s", operation, DeviceName(true).c_str(), role);
        break;
    }
}

bool CBaseCameraChannel::SendFrameCallback(ipcapture::IHostFrame* frame)
{
    try {
        if (m_suspended) {
            if (frame != nullptr)
                Notify_SendFrameCallback(frame);
            return true;
        }
        if (m_frameSink != nullptr && frame != nullptr && m_frameSink->OnFrame(frame)) {
            Notify_SendFrameCallback(frame);
            return true;
        }
        return false;
    } catch (...) {
        m_driver->DebugMessage(kLogError, "%s(): Unexpected exception, device %s",
                               "korvane::CBaseCameraChannel::SendFrameCallback", m_driver->GetDeviceName());
        return false;
    }
}

void CBaseCameraChannel::Notify_SendFrameCallback(ipcapture::IHostFrame* frame)
{
    try {
        if (m_edgeMonitor == nullptr)
            return;
        SYSTEMTIME time{};
        frame->GetTime(&time);
        m_edgeMonitor->FrameReceived(m_channelIndex, platform::SystemTimeToFileTime(time));
    } catch (...) {
        m_driver->DebugMessage(kLogError, "%s: Unhandled exception in driver instance for device %s",
                               "korvane::CBaseCameraChannel::Notify_SendFrameCallback", m_driver->GetDeviceName());
    }
}

void CBaseCameraChannel::SendSignalLost()
{
    try {
        if (m_frameSink != nullptr)
            m_frameSink->OnSignalLost();
        if (m_edgeMonitor != nullptr)
            m_edgeMonitor->SignalLost(m_channelIndex);
    } catch (...) {
        m_driver->DebugMessage(kLogError, "%s(): Unexpected exception, device %s",
                               "korvane::CBaseCameraChannel::SendSignalLost", m_driver->GetDeviceName());
    }
}

}  // namespace korvane
