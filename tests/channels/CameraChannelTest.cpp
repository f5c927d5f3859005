// The camera channel base on its own: log lines of the camera state, frame
// hand-over to the host and the edge monitor, settings, and the capture
// thread's start and bounded stop.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include "channels/BaseCameraChannel.h"
#include "channels/ChannelTestSupport.h"
#include "platform/Time.h"
#include "support/FakeDriver.h"
#include "support/FrameHost.h"
#include "support/LogEntries.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// Exposes the base's helpers; the thread body is whatever the test gives it.
class CProbeChannel : public CBaseCameraChannel {
public:
    CProbeChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* sink)
        : CBaseCameraChannel(channelIndex, driver, sink)
    {
    }
    ~CProbeChannel() override { Stop(); }

    void SetHostInfo(uint32_t) override {}

    using CBaseCameraChannel::SendFrameCallback;
    using CBaseCameraChannel::SendSignalLost;
    using CBaseCameraChannel::SetCameraState;
    using CBaseCameraChannel::SetState;
    using CBaseCameraChannel::SetSuspended;

    CManualEvent& StopEvent() { return m_stopEvent; }
    using CBaseCameraChannel::Params;

    std::function<uint32_t(CProbeChannel&)> body;
    bool applyResult = true;

protected:
    uint32_t Run() override { return body ? body(*this) : 0; }
    bool ApplyParams() override { return applyResult; }
};

// Called from the test's own thread only.
class RecordingEdgeMonitor : public IEdgeMonitor {
public:
    void AddChannel(IEdgeMonitorChannel*) override {}
    void RemoveChannel(IEdgeMonitorChannel*) override {}
    void FrameReceived(uint32_t channelIndex, uint64_t time) override { frames.emplace_back(channelIndex, time); }
    void SignalLost(uint32_t channelIndex) override { signalLost.push_back(channelIndex); }

    std::vector<std::pair<uint32_t, uint64_t>> frames;
    std::vector<uint32_t> signalLost;
};

class ThrowingSink : public ipcapture::IFrameSink {
public:
    bool OnFrame(ipcapture::IHostFrame*) override { throw std::runtime_error("host fault"); }
    void OnSignalLost() override { throw std::runtime_error("host fault"); }
};

const std::string kStateOp = "korvane::CBaseCameraChannel::SetCameraState: ";

class CameraChannel : public ::testing::Test {
protected:
    CameraChannel() { driver.allocator = &host; }

    FakeDriver driver;
    CFrameHost host;
};

}  // namespace

TEST_F(CameraChannel, LogsEachChangeOfTheCameraStateOnce)
{
    CProbeChannel channel(0, &driver, &host);
    ASSERT_TRUE(channel.ChangeSettings({0, 40, 0, 0, 0, kStreamLive}));

    channel.SetCameraState(false);  // never online: nothing to say
    EXPECT_TRUE(driver.Lines().empty());

    channel.SetCameraState(true);
    for (uint32_t state : {kChannelSignalLost, kChannelStreaming, kChannelStopped}) {
        channel.SetCameraState(true);  // still online at first: no second line
        channel.SetState(state);
        channel.SetCameraState(false);
    }

    const std::string online = "3 " + kStateOp + "Camera 127.0.0.1 is online (Live)";
    EXPECT_EQ(LogEntries(driver), (std::vector<std::string>{
                                      online, "1 " + kStateOp + "Signal was lost for camera 127.0.0.1 (Live)", online,
                                      "1 " + kStateOp + "Camera 127.0.0.1 is offline or failed (Live)", online,
                                      "3 " + kStateOp + "Camera 127.0.0.1 is offline. Channel was stopped (Live)"}));
}

TEST_F(CameraChannel, NamesAVideoServerInputAndLeavesUnknownRolesOut)
{
    driver.channelCount = 4;
    CProbeChannel channel(2, &driver, &host);
    ASSERT_TRUE(channel.ChangeSettings({0, 40, 0, 0, 0, 3}));

    channel.SetCameraState(true);
    channel.SetState(kChannelSignalLost);
    channel.SetCameraState(false);
    EXPECT_EQ(LogEntries(driver),
              (std::vector<std::string>{"3 " + kStateOp + "Video-server 127.0.0.1 (channel 2) is online ",
                                        "1 " + kStateOp + "Signal was lost for video-server 127.0.0.1 (channel 2) "}));
}

TEST_F(CameraChannel, HandsFramesToTheSinkAndTellsTheEdgeMonitorWhichASuspendedChannelStillDoes)
{
    RecordingEdgeMonitor monitor;
    CProbeChannel channel(1, &driver, &host);
    channel.SetEdgeMonitor(&monitor);
    ipcapture::IHostFrame* frame = host.AllocateFrame(0x34363248, 16, "stream");
    SYSTEMTIME time{2026, 12, 0, 6, 10, 20, 30, 400};
    frame->SetTime(&time);

    EXPECT_TRUE(channel.SendFrameCallback(frame));
    EXPECT_EQ(host.FrameCount(), 1u);
    const std::pair<uint32_t, uint64_t> reported{1u, platform::SystemTimeToFileTime(time)};
    EXPECT_EQ(monitor.frames, std::vector{reported});
    host.SetAcceptFrames(false);
    EXPECT_FALSE(channel.SendFrameCallback(frame));
    EXPECT_EQ(monitor.frames.size(), 1u);  // a refused frame is not reported
    EXPECT_FALSE(channel.SendFrameCallback(nullptr));
    channel.SendSignalLost();
    EXPECT_EQ(host.SignalLostCount(), 1u);
    EXPECT_EQ(monitor.signalLost, std::vector<uint32_t>{1u});

    // Suspended: the host sees nothing, the edge monitor every frame.
    EXPECT_EQ((std::vector<bool>{channel.SetSuspended(true), channel.SetSuspended(true),
                                 channel.SendFrameCallback(frame), channel.SendFrameCallback(nullptr)}),
              (std::vector<bool>{true, false, true, true}));
    EXPECT_EQ(std::make_pair(host.FrameCount(), monitor.frames.size()), std::make_pair(size_t{1}, size_t{2}));
    host.ReleaseFrame(frame);
    // The base does not suspend by itself.
    EXPECT_EQ((std::vector<bool>{channel.Suspend(), channel.Resume()}), std::vector<bool>(2, false));
}

TEST_F(CameraChannel, WithoutASinkNothingIsDeliveredAndExceptionsOfTheSinkAreLoggedAsNotDelivered)
{
    RecordingEdgeMonitor monitor;
    CProbeChannel sinkless(0, &driver, nullptr);
    sinkless.SetEdgeMonitor(&monitor);
    ipcapture::IHostFrame* frame = host.AllocateFrame(0x34363248, 16, "stream");
    EXPECT_FALSE(sinkless.SendFrameCallback(frame));
    sinkless.SendSignalLost();
    EXPECT_EQ(std::make_pair(monitor.frames.size(), monitor.signalLost.size()), std::make_pair(size_t{0}, size_t{1}));

    ThrowingSink sink;
    CProbeChannel channel(0, &driver, &sink);
    EXPECT_FALSE(channel.SendFrameCallback(frame));
    channel.SendSignalLost();
    host.ReleaseFrame(frame);
    EXPECT_EQ(LogEntries(driver),
              (std::vector<std::string>{
                  "1 korvane::CBaseCameraChannel::SendFrameCallback(): Unexpected exception, device 127.0.0.1:80",
                  "1 korvane::CBaseCameraChannel::SendSignalLost(): Unexpected exception, device 127.0.0.1:80"}));
}

TEST_F(CameraChannel, ChangingSettingsKeepsTheQuality)
{
    CProbeChannel channel(0, &driver, &host);
    ASSERT_TRUE(channel.Start({0x7000 + 10, 80, 640, 480, kCodecJpeg, kStreamRec}));
    channel.Stop();
    EXPECT_TRUE(channel.ChangeSettings({200, 30, 320, 240, kCodecJpeg, kStreamRec}));
    channel.applyResult = false;
    EXPECT_FALSE(channel.ChangeSettings({100, 20, 1280, 720, kCodecH264, kStreamLive}));
    const ChannelSettings& params = channel.Params();
    EXPECT_EQ(std::tie(params.frameRate, params.quality, params.width, params.height, params.codec,
                       params.streamNumber),
              std::make_tuple(100u, 80u, 1280u, 720u, kCodecH264, kStreamLive));
}

TEST_F(CameraChannel, StartRunsTheBodyWithTheSettingsARestartStopsTheFirstRunAndTheStopIsLoggedOnce)
{
    CProbeChannel channel(0, &driver, &host);
    std::atomic<int> runs{0};
    std::atomic<uint32_t> seenWidth{0};
    channel.body = [&](CProbeChannel& self) {
        seenWidth = self.Params().width;
        ++runs;
        self.StopEvent().Wait(kInfiniteWait);
        return 0u;
    };

    ASSERT_TRUE(channel.Start({0, 50, 320, 240, kCodecJpeg, kStreamRec}));
    ASSERT_TRUE(WaitUntil([&] { return runs == 1; }));
    EXPECT_EQ(seenWidth, 320u);
    EXPECT_EQ(channel.GetState(), kChannelStopped);

    ASSERT_TRUE(channel.Start({0, 50, 640, 480, kCodecJpeg, kStreamRemote}));
    ASSERT_TRUE(WaitUntil([&] { return runs == 2; }));
    EXPECT_EQ(seenWidth, 640u);
    channel.SetState(kChannelStreaming);
    channel.SetCameraState(true);

    channel.Stop();
    channel.Stop();
    EXPECT_EQ(channel.GetState(), kChannelStopped);
    EXPECT_FALSE(driver.HasLineContaining("cannot be stopped"));
    EXPECT_EQ(driver.CountLinesContaining("is offline. Channel was stopped (Remote)"), 1u);
    EXPECT_EQ(CBaseCameraChannel::ThreadEntry(nullptr), 0x123456u);
}

TEST_F(CameraChannel, AStopThatOutlastsItsBoundIsLoggedAndStillWaitsForTheThread)
{
    driver.deviceInfo.requestTimeoutMs = 50;  // the stop waits 100 ms before it complains
    CProbeChannel channel(0, &driver, &host);
    CManualEvent release;
    std::atomic<bool> bodyEnded{false};
    channel.body = [&](CProbeChannel&) {
        release.Wait(kInfiniteWait);  // deaf to the stop request
        bodyEnded = true;
        return 0u;
    };
    ASSERT_TRUE(channel.Start({0, 40, 0, 0, 0, kStreamRec}));

    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        channel.Stop();
        stopped = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return driver.HasLineContaining("cannot be stopped"); }));
    EXPECT_FALSE(stopped);
    release.Set();
    stopper.join();
    EXPECT_TRUE(bodyEnded);

    EXPECT_EQ(LogEntries(driver), std::vector<std::string>{"2 korvane::CBaseCameraChannel::StopThread: Video capture "
                                                           "thread for camera 127.0.0.1 cannot be stopped and will "
                                                           "be terminated now"});
}
