#pragma once
// What every video channel shares: the capture thread with its bounded start
// and stop, the channel state, the online/offline log lines, the hand-over of
// finished frames to the host's sink and the signal-lost notice.
#include <atomic>
#include <cstdint>
#include <string>

#include "channels/ICameraChannel.h"
#include "channels/SocketsReference.h"
#include "driver/ChannelSettings.h"
#include "platform/Thread.h"
#include "runtime/Events.h"
#include "runtime/RecursiveLock.h"
#include "runtime/Time.h"

namespace korvane {

class IDriver;

class CBaseCameraChannel : public ICameraChannel {
public:
    CBaseCameraChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink);
    // Stops the channel. A derived class whose members the capture thread uses
    // must call Stop() in its own destructor, before those members go.
    ~CBaseCameraChannel() override;
    CBaseCameraChannel(const CBaseCameraChannel&) = delete;
    CBaseCameraChannel& operator=(const CBaseCameraChannel&) = delete;

    uint32_t GetChannelIndex() override { return m_channelIndex; }
    ipcapture::IFrameSink* GetFrameSink() override { return m_frameSink; }
    void SetEdgeMonitor(IEdgeMonitor* monitor) override { m_edgeMonitor = monitor; }

    bool Start(const ChannelSettings& settings) override;
    void Stop() override;
    bool ChangeSettings(const ChannelSettings& settings) override;
    bool Suspend() override { return false; }
    bool Resume() override { return false; }
    uint32_t GetState() override;

    // The capture thread's routine: runs the channel's body; 0x123456 without a channel.
    static uint32_t ThreadEntry(CBaseCameraChannel* channel);

protected:
    void OnStopThread() override {}

    void SetState(uint32_t state);
    bool StartThread();
    void StopThread();
    // Logs the change between online and offline; nothing when it is no change.
    void SetCameraState(bool online);
    // Offers a finished frame to the host; true when it was taken (or withheld
    // because the channel is suspended).
    bool SendFrameCallback(ipcapture::IHostFrame* frame);
    void SendSignalLost();
    // Tells the edge monitor the frame's time.
    void Notify_SendFrameCallback(ipcapture::IHostFrame* frame);
    // False when the flag already had this value.
    bool SetSuspended(bool suspended) { return m_suspended.exchange(suspended) != suspended; }
    bool IsSuspended() const { return m_suspended; }
    bool IsStopRequested() const { return m_stopEvent.IsSet(); }

    // "camera <address>", or "video-server <address> (channel <index>)" on a
    // device with several video inputs; capitalised on request.
    std::string DeviceName(bool capitalised);

    // The running stream's settings. The host's thread changes them while the
    // stream's threads read them, so each access holds their lock.
    ChannelSettings Params() const;
    template <typename Change>
    void ChangeParams(Change change)
    {
        CAutoLock guard(m_paramsLock);
        change(m_params);
    }

    IDriver* m_driver;
    CManualEvent m_stopEvent;
    CTime m_lastFrameTime;

private:
    mutable CRecursiveLock m_paramsLock;
    ChannelSettings m_params;
    CSocketsReference m_sockets;
    std::atomic<bool> m_online{false};
    std::atomic<bool> m_suspended{false};
    CRecursiveLock m_stateLock;
    uint32_t m_state = kChannelStopped;
    CRecursiveLock m_threadLock;
    platform::Thread m_thread;
    ipcapture::IFrameSink* m_frameSink;
    IEdgeMonitor* m_edgeMonitor = nullptr;
    uint32_t m_channelIndex;
};

}  // namespace korvane
