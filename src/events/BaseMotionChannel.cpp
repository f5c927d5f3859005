#include "events/BaseMotionChannel.h"

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "streaming/RTPMediaParser.h"

namespace korvane {

namespace {

constexpr uint32_t kFrameAllocationSize = 1024;
constexpr char kFrameStreamName[] = "CBaseMotionChannel";
constexpr uint32_t kFrameWidth = 320;
constexpr uint32_t kFrameHeight = 240;
constexpr uint8_t kMotionRecordType = 0x01;
constexpr uint64_t kMinimumChangeIntervalMs = 1000;
constexpr uint32_t kStopGraceMs = 1000;

}  // namespace

CBaseMotionChannel::CBaseMotionChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink)
    : CBaseThread(driver), m_driver(driver), m_frameSink(frameSink), m_channelIndex(channelIndex)
{
}

CBaseMotionChannel::~CBaseMotionChannel()
{
    CBaseMotionChannel::Stop();
}

bool CBaseMotionChannel::Start()
{
    Stop();
    m_motionSent = false;  // a new run starts with an edge
    m_sockets.Acquire();
    if (CBaseThread::Start("Motion Detection Thread"))
        return true;
    m_sockets.Release();
    return false;
}

void CBaseMotionChannel::Stop()
{
    m_stopEvent.Set();
    OnStopping();
    JoinThread(m_driver->GetDeviceInfo()->requestTimeoutMs + kStopGraceMs);
    m_sockets.Release();
}

void CBaseMotionChannel::ReportMotion(bool motion)
{
    Notify_MotionDataReceived();
    if (!m_motionSent) {
        CaptureMotionFrameCallback(!motion);
        CaptureMotionFrameCallback(motion);
        m_motionSent = true;
        m_lastMotion = motion;
        return;
    }
    if (motion != m_lastMotion && m_lastDelivery.ElapsedMs() >= kMinimumChangeIntervalMs) {
        CaptureMotionFrameCallback(motion);
        m_lastMotion = motion;
    }
}

void CBaseMotionChannel::CheckDelivery()
{
    if (m_lastDelivery.ElapsedMs() > m_driver->GetDeviceInfo()->secondTimeoutMs)
        SetConnected(false);
}

void CBaseMotionChannel::Notify_MotionDataReceived()
{
    try {
        if (m_edgeMonitor != nullptr)
            m_edgeMonitor->FrameReceived(m_channelIndex, NowFileTime());
    } catch (...) {
        m_driver->DebugMessage(kLogError, "%s: Unhandled exception in driver instance for device %s",
                               "korvane::CBaseMotionChannel::Notify_MotionDataReceived", m_driver->GetDeviceName());
    }
}

bool CBaseMotionChannel::CaptureMotionFrameCallback(bool motion)
{
    ipcapture::IFrameAllocator* allocator = m_driver->GetHostContext();
    if (allocator == nullptr || m_frameSink == nullptr)
        return false;
    CAllocatedFrame frame(allocator, kMotionFourCC, kFrameAllocationSize, kFrameStreamName);
    uint8_t* buffer = frame.Buffer();
    if (buffer == nullptr)
        return false;
    buffer[0] = kMotionRecordType;
    buffer[1] = motion ? 1 : 0;
    ipcapture::IHostFrame* hostFrame = frame.Get();
    hostFrame->SetDataSize(2);
    hostFrame->SetWidth(kFrameWidth);
    hostFrame->SetHeight(kFrameHeight);
    hostFrame->SetSizeClass(FrameSizeClass(kFrameWidth, kFrameHeight));
    hostFrame->Commit();
    if (m_frameSink->OnFrame(hostFrame)) {
        m_lastDelivery.Update();
        SetConnected(true);
        return true;
    }
    m_driver->DebugMessage(kLogDebug, "%s(): Motion detection data callback failed (device %s, channel %u)",
                           "korvane::CBaseMotionChannel::CaptureMotionFrameCallback",
                           m_driver->GetDeviceInfo()->address.c_str(), m_channelIndex);
    return false;
}

void CBaseMotionChannel::SetConnected(bool connected)
{
    if (m_connected.exchange(connected) == connected || connected)
        return;
    m_motionSent = false;
    if (m_frameSink != nullptr)
        m_frameSink->OnSignalLost();
}

}  // namespace korvane
