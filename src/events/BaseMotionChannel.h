#pragma once
// What every motion channel shares: the detection thread's start and stop,
// and the hand-over of the motion state to the host as small "MEMD" frames
// through the video channel's frame sink, with an edge after every
// (re)connection and signal loss when no frame was taken for a while.
#include <atomic>
#include <cstdint>

#include "channels/SocketsReference.h"
#include "events/IMotionChannel.h"
#include "runtime/BaseThread.h"
#include "runtime/Time.h"

namespace korvane {

class IDriver;

class CBaseMotionChannel : public IMotionChannel, private CBaseThread {
public:
    static constexpr uint32_t kMotionFourCC = 0x444D454D;  // "MEMD"

    CBaseMotionChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink);
    // A derived class whose members the thread uses calls Stop() in its own destructor.
    ~CBaseMotionChannel() override;

    uint32_t GetChannelIndex() override { return m_channelIndex; }
    ipcapture::IFrameSink* GetFrameSink() override { return m_frameSink; }
    void SetEdgeMonitor(IEdgeMonitor* monitor) override { m_edgeMonitor = monitor; }

    bool Start() override;
    void Stop() override;
    void OnStopping() override {}
    bool IsConnected() override { return m_connected; }

protected:
    using CBaseThread::IsStopRequested;
    using CBaseThread::m_stopEvent;

    // Sends an edge after a (re)connection, otherwise changes at most once a second.
    void ReportMotion(bool motion);
    // Reports signal loss once when no frame was taken for the second time-out.
    void CheckDelivery();

    IDriver* m_driver;

private:
    void Notify_MotionDataReceived();
    bool CaptureMotionFrameCallback(bool motion);
    void SetConnected(bool connected);

    ipcapture::IFrameSink* m_frameSink;
    IEdgeMonitor* m_edgeMonitor = nullptr;
    CSocketsReference m_sockets;
    // Motion thread only, apart from the reads of IsConnected.
    std::atomic<bool> m_connected{false};
    CTime m_lastDelivery;
    bool m_lastMotion = false;
    bool m_motionSent = false;
    uint32_t m_channelIndex;
};

}  // namespace korvane
