// The channels: the camera channel base on its own (log lines of the camera state, frame hand-over to the host and
// the edge monitor, settings, the capture thread's start and bounded stop); RTSP channels end to end against the
// simulated camera on loopback (every transport, the parser choice, signal loss and recovery, BYE, the port-pair
// search, suspend and resume, bounded stops in every phase); the audio stream base (unicast receivers on a free port
// pair, packets only from the camera, supervision while they arrive and a restart when they stop).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "camsim/rtsp/RtspServer.h"
#include "channels/BaseCameraChannel.h"
#include "channels/BaseRTPDataChannel.h"
#include "channels/BaseRTSPChannel.h"
#include "platform/Time.h"
#include "streaming/ParserTestSupport.h"
#include "support/CameraAddress.h"
#include "support/FakeDriver.h"
#include "support/FrameHost.h"
#include "support/LogEntries.h"
#include "support/ScratchDirectory.h"
#include "support/UdpPeer.h"
#include "support/WaitUntil.h"

using namespace korvane;
using namespace korvane::test;
using camsim::MediaCodec;
using namespace ::testing;

namespace {

constexpr uint32_t kConnectTimeoutMs = 1000;  // C of the device record
constexpr uint32_t kReceiveTimeoutMs = 2000;  // R: also the signal-lost time
constexpr uint32_t kWaitMs = 10000;           // deadline of the polling waits

using korvane::test::WaitUntil;
template <typename Condition>
bool WaitUntil(Condition condition)
{
    return WaitUntil(condition, kWaitMs);
}

// Connects to the simulated camera; its camera settings only count, and can take a while (a slow camera).
class CTestRTSPChannel : public CBaseRTSPChannel {
public:
    CTestRTSPChannel(IDriver* driver, ipcapture::IFrameSink* sink, uint16_t serverPort)
        : CBaseRTSPChannel(0, driver, sink), m_serverPort(serverPort)
    {
    }
    ~CTestRTSPChannel() override { Stop(); }

    void SetHostInfo(uint32_t) override {}

    std::atomic<int> applyCount{0};
    std::atomic<uint32_t> applyDelayMs{0};

protected:
    bool ApplyParams() override
    {
        ++applyCount;
        std::this_thread::sleep_for(std::chrono::milliseconds(applyDelayMs.load()));
        return true;
    }
    void FillStreamSettings(RTSPClientSettings& settings) override
    {
        settings.serverPort = m_serverPort;
        settings.path = "stream";
    }

private:
    uint16_t m_serverPort;
};

class ChannelTest : public ::testing::Test {
protected:
    ChannelTest()
    {
        driver.allocator = &host;
        driver.hostDirectory = scratch.Path();
        driver.deviceInfo.requestTimeoutMs = kConnectTimeoutMs;
        driver.deviceInfo.secondTimeoutMs = kReceiveTimeoutMs;
    }

    // The configuration file with these elements.
    void WriteConfiguration(const std::string& elements)
    {
        scratch.WriteFile("Tallowcam.xml", "<Configuration>" + elements + "</Configuration>");
    }

    std::unique_ptr<CTestRTSPChannel> StartChannel(uint32_t streamNumber = kStreamRec)
    {
        auto channel = std::make_unique<CTestRTSPChannel>(&driver, &host, server.Port());
        EXPECT_TRUE(channel->Start({0x7000 + 25, 50, 640, 480, kCodecH264, streamNumber}));
        return channel;
    }

    bool WaitForFrames(size_t count, uint32_t timeoutMs = kWaitMs)
    {
        return WaitUntil([&] { return host.FrameCount() >= count; }, timeoutMs);
    }

    std::vector<std::string> RequestsOf(const std::string& method) const
    {
        std::vector<std::string> found;
        for (const std::string& request : server.Recorder().Requests())
            if (request.rfind(method + " ", 0) == 0)
                found.push_back(request);
        return found;
    }

    bool WaitForRequests(const std::string& method, size_t count, uint32_t timeoutMs = kWaitMs)
    {
        return WaitUntil([&] { return RequestsOf(method).size() >= count; }, timeoutMs);
    }

    // A stop within its bound never reaches the "cannot be stopped" line.
    void ExpectBoundedStop(CBaseCameraChannel& channel)
    {
        channel.Stop();
        EXPECT_EQ(channel.GetState(), kChannelStopped);
        EXPECT_FALSE(driver.HasLineContaining("cannot be stopped"));
        EXPECT_FALSE(driver.HasLineContaining("was not stopped"));
    }

    FakeDriver driver;
    CFrameHost host;
    ScratchDirectory scratch;
    camsim::RtspServer server;
};

// Exposes the base's helpers; the thread body is whatever the test gives it.
class CProbeChannel : public CBaseCameraChannel {
public:
    using CBaseCameraChannel::CBaseCameraChannel;
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

class ThrowingSink final : public ipcapture::IFrameSink {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    bool OnFrame(ipcapture::IHostFrame*) override { throw std::runtime_error("host fault"); }
    void OnSignalLost() override { throw std::runtime_error("host fault"); }
};

const std::string kStateOp = "korvane::CBaseCameraChannel::SetCameraState: ";

using CameraChannel = ChannelTest;
using RTSPChannel = ChannelTest;
using RTPDataChannel = ChannelTest;

// The first pair P, P + 1 of the channels' port range after which `count`
// ports are free.
uint16_t FirstFreePorts(uint16_t count)
{
    for (uint16_t port = 3556; port < 4556; port += 2) {
        bool free = true;
        for (uint16_t offset = 0; offset < count && free; ++offset) {
            platform::UdpSocket socket;
            free = socket.Create() && socket.Bind(static_cast<uint16_t>(port + offset));
        }
        if (free)
            return port;
    }
    return 0;
}

// Sends RTP packets from loopback to a port until it goes: a stray stream.
class StrayStream {
public:
    explicit StrayStream(uint16_t port)
        : m_thread([this, port] {
              for (uint16_t sequence = 0; !m_stop; ++sequence) {
                  m_sender.Send(port, MakeRtp(sequence, 0, {0}));
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
          })
    {
    }
    ~StrayStream()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    UdpTestPeer m_sender;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Counts what the base asks of it; every delivered packet counts as audio.
class CTestDataChannel : public CBaseRTPDataChannel {
public:
    explicit CTestDataChannel(IDriver* driver) : CBaseRTPDataChannel(driver, 0) {}
    ~CTestDataChannel() override { Stop(); }

    std::atomic<int> connects{0};
    std::atomic<int> supervisions{0};
    std::atomic<int> signalLosses{0};
    std::atomic<int> stops{0};
    std::atomic<uint16_t> rtpPort{0};
    std::atomic<uint16_t> lastSequence{0};
    std::atomic<int> packets{0};

protected:
    void RunMulticast() override { m_stopEvent.Wait(kInfiniteWait); }
    bool ConnectStream() override
    {
        ++connects;
        return true;
    }
    void ProcessPacket(const CRTPPacket& packet) override
    {
        lastSequence = packet.m_sequenceNumber;
        ++packets;
        m_lastPacketTime.Update();
    }
    void Supervise() override { ++supervisions; }
    void OnReceiversStarted() override { rtpPort = m_reception.RtpPort(); }
    void OnStreamStopped() override { rtpPort = 0; }
    void OnSignalLost() override { ++signalLosses; }
    void OnStopped() override { ++stops; }
};

}  // namespace

TEST_F(CameraChannel, LogsEachChangeOfTheCameraStateOnceForACameraOrAVideoServerInput)
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
    // A video server's input; its unknown role is left out.
    driver.channelCount = 4;
    CProbeChannel input(2, &driver, &host);
    ASSERT_TRUE(input.ChangeSettings({0, 40, 0, 0, 0, 3}));
    input.SetCameraState(true);
    input.SetState(kChannelSignalLost);
    input.SetCameraState(false);

    const std::string online = "3 " + kStateOp + "Camera 127.0.0.1 is online (Live)";
    EXPECT_EQ(LogEntries(driver), (std::vector<std::string>{
                                      online, "1 " + kStateOp + "Signal was lost for camera 127.0.0.1 (Live)", online,
                                      "1 " + kStateOp + "Camera 127.0.0.1 is offline or failed (Live)", online,
                                      "3 " + kStateOp + "Camera 127.0.0.1 is offline. Channel was stopped (Live)",
                                      "3 " + kStateOp + "Video-server 127.0.0.1 (channel 2) is online ",
                                      "1 " + kStateOp + "Signal was lost for video-server 127.0.0.1 (channel 2) "}));
}

TEST_F(CameraChannel, HandsFramesToTheSinkAndTellsTheEdgeMonitorEvenSuspendedAndLogsSinkFaults)
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
    EXPECT_EQ((std::vector<bool>{channel.SendFrameCallback(frame), channel.SendFrameCallback(nullptr)}),
              std::vector<bool>(2, false));
    channel.SendSignalLost();
    // A refused frame is not reported.
    EXPECT_EQ(std::make_tuple(monitor.frames.size(), host.SignalLostCount(), monitor.signalLost),
              std::make_tuple(size_t{1}, size_t{1}, std::vector<uint32_t>{1u}));

    // Suspended: the host sees nothing, the edge monitor every frame.
    EXPECT_EQ((std::vector<bool>{channel.SetSuspended(true), channel.SetSuspended(true),
                                 channel.SendFrameCallback(frame), channel.SendFrameCallback(nullptr)}),
              (std::vector<bool>{true, false, true, true}));
    EXPECT_EQ(std::make_pair(host.FrameCount(), monitor.frames.size()), std::make_pair(size_t{1}, size_t{2}));
    // The base does not suspend by itself.
    EXPECT_EQ((std::vector<bool>{channel.Suspend(), channel.Resume()}), std::vector<bool>(2, false));

    // Without a sink nothing is delivered; exceptions of the sink are logged as not delivered.
    RecordingEdgeMonitor sinklessMonitor;
    CProbeChannel sinkless(0, &driver, nullptr);
    sinkless.SetEdgeMonitor(&sinklessMonitor);
    EXPECT_FALSE(sinkless.SendFrameCallback(frame));
    sinkless.SendSignalLost();
    EXPECT_EQ(std::make_pair(sinklessMonitor.frames.size(), sinklessMonitor.signalLost.size()),
              std::make_pair(size_t{0}, size_t{1}));
    ThrowingSink sink;
    CProbeChannel faulty(0, &driver, &sink);
    EXPECT_FALSE(faulty.SendFrameCallback(frame));
    faulty.SendSignalLost();
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

    ASSERT_TRUE(channel.Start({0, 50, 320, 240, kCodecJpeg, kStreamRec}) && WaitUntil([&] { return runs == 1; }));
    EXPECT_EQ(std::make_pair(seenWidth.load(), channel.GetState()), std::make_pair(320u, uint32_t{kChannelStopped}));

    ASSERT_TRUE(channel.Start({0, 50, 640, 480, kCodecJpeg, kStreamRemote}) && WaitUntil([&] { return runs == 2; }));
    EXPECT_EQ(seenWidth, 640u);
    channel.SetState(kChannelStreaming);
    channel.SetCameraState(true);

    channel.Stop();
    ExpectBoundedStop(channel);
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

TEST_F(RTSPChannel, AUnicastSessionSkipsOccupiedPortsDeliversFramesSuspendsLosesTheSignalAndRecovers)
{
    const uint16_t first = FirstFreePorts(6);
    ASSERT_NE(first, 0);
    platform::UdpSocket taken;  // P: bound by someone else
    ASSERT_TRUE(taken.Create() && taken.Bind(first));
    StrayStream stray(static_cast<uint16_t>(first + 2));  // P + 2: the camera still sends there
    ASSERT_TRUE(server.Start());
    auto channel = StartChannel(kStreamRec);

    ASSERT_TRUE(WaitForFrames(10) && WaitUntil([&] { return channel->GetState() == kChannelStreaming; }));
    const std::vector<DeliveredFrame> frames = host.Frames();
    // A key frame with its SPS first.
    EXPECT_EQ(std::tie(frames[0].fourCC, frames[0].width, frames[0].height, frames[0].streamName),
              std::make_tuple(0x34363248u, 640u, 480u, "127.0.0.1:80::RecStream"));
    // Capture times follow the wall clock and never go back.
    const uint64_t now = platform::NowFileTime();
    uint64_t previous = 0;
    for (const DeliveredFrame& frame : frames) {
        const uint64_t time = platform::SystemTimeToFileTime(frame.time);
        // Not ahead of the clock, and recent.
        EXPECT_THAT(time, AllOf(Ge(previous), Lt(now + 10'000'000), Gt(now - 100'000'000)));
        previous = time;
    }
    const std::vector<std::string> setups = RequestsOf("SETUP");
    ASSERT_EQ(setups.size(), 1u);
    // Alone on the machine the channel takes P + 4; other channels searching
    // the same range at the same time may move it on, never onto P or P + 2.
    const unsigned port = std::stoul(setups[0].substr(setups[0].find("client_port=") + 12));
    EXPECT_THAT(port, AllOf(Ne(first), Ne(first + 2u), Ge(3556u), Lt(4556u)));
    EXPECT_EQ(port % 2, 0u);
    EXPECT_THAT(setups[0], HasSubstr("Transport: RTP/AVP/UDP;unicast;client_port=" + std::to_string(port) + "-" +
                                     std::to_string(port + 1) + "\r\n"));
    EXPECT_EQ(channel->applyCount, 1);

    // Suspended for longer than the signal-lost time: frames are withheld, the session is kept, and the
    // channel neither restarts nor loses its signal.
    EXPECT_EQ((std::vector<bool>{channel->Resume(), channel->Suspend(), channel->Suspend()}),
              (std::vector<bool>{false, true, false}));
    ASSERT_TRUE(WaitForRequests("PAUSE", 1));
    const size_t suspendedAt = host.FrameCount();
    const auto observed = std::chrono::steady_clock::now();
    while (ElapsedMs(observed) < kReceiveTimeoutMs + 500) {
        EXPECT_EQ(channel->GetState(), kChannelStreaming);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(std::make_tuple(host.FrameCount(), host.SignalLostCount(), RequestsOf("DESCRIBE").size(),
                              RequestsOf("TEARDOWN").size()),
              std::make_tuple(suspendedAt, 0u, 1u, 0u));
    EXPECT_EQ((std::vector<bool>{channel->Resume(), channel->Resume()}), (std::vector<bool>{true, false}));
    EXPECT_TRUE(WaitForRequests("PLAY", 2));
    EXPECT_TRUE(WaitForFrames(suspendedAt + 5));
    EXPECT_EQ(RequestsOf("SETUP").size(), 1u);
    EXPECT_EQ(channel->GetState(), kChannelStreaming);

    // A silent camera: the state shows the loss after R / 2, the host hears of it once the last frame is R old.
    const auto silentSince = std::chrono::steady_clock::now();
    server.Faults().stopSending = true;
    EXPECT_TRUE(WaitUntil([&] { return channel->GetState() == kChannelSignalLost; }));
    EXPECT_GE(ElapsedMs(silentSince) + 100, kReceiveTimeoutMs / 2);
    ASSERT_TRUE(WaitUntil([&] { return host.SignalLostCount() >= 1; }));
    EXPECT_GE(ElapsedMs(silentSince) + 100, kReceiveTimeoutMs);
    server.Faults().stopSending = false;
    EXPECT_TRUE(WaitForFrames(host.FrameCount() + 5));
    EXPECT_TRUE(WaitUntil([&] { return channel->GetState() == kChannelStreaming; }));
    EXPECT_GE(channel->applyCount, 2);  // restarted: the settings are written again before each session

    const size_t teardowns = RequestsOf("TEARDOWN").size();
    ExpectBoundedStop(*channel);
    EXPECT_TRUE(WaitForRequests("TEARDOWN", teardowns + 1));
    EXPECT_EQ(host.OutstandingFrames(), 0u);
    EXPECT_EQ(driver.CountLinesContaining("Camera 127.0.0.1 is offline. Channel was stopped (Rec)"), 1u);
}

TEST_F(RTSPChannel, InterleavedStreamsOfEveryCodecReachTheHost)
{
    WriteConfiguration("<Default><RTPMode>RTPoverRTSP</RTPMode></Default>");
    const struct {
        MediaCodec codec;
        uint32_t fourCC;
    } cases[] = {{MediaCodec::H264, 0x34363248}, {MediaCodec::Jpeg, 0x4745504A}, {MediaCodec::Mpeg4, 0x58564944}};
    for (const auto& each : cases) {
        camsim::RtspServer camera;
        camera.Options().tracks = {each.codec};
        ASSERT_TRUE(camera.Start());
        CFrameHost frames;
        driver.allocator = &frames;
        CTestRTSPChannel channel(&driver, &frames, camera.Port());
        ASSERT_TRUE(channel.Start({0x7000 + 25, 50, 640, 480, kCodecH264, kStreamLive}));

        ASSERT_TRUE(WaitUntil([&] { return frames.FrameCount() >= 3; })) << each.fourCC;
        const DeliveredFrame first = frames.Frames()[0];
        EXPECT_EQ(std::tie(first.fourCC, first.streamName), std::make_tuple(each.fourCC, "127.0.0.1:80::LiveStream"));
        const std::vector<std::string> requests = camera.Recorder().Requests();
        ASSERT_GE(requests.size(), 2u);
        EXPECT_THAT(requests[1], HasSubstr("Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n"));
        ExpectBoundedStop(channel);
        EXPECT_EQ(frames.OutstandingFrames(), 0u);
    }
    driver.allocator = &host;
}

TEST_F(RTSPChannel, MulticastFramesReachTheHostAndACameraByeRestartsTheSession)
{
    server.Options().multicastGroup = "239.255.43.1";
    server.Options().multicastPort = FreePort();
    WriteConfiguration("<StreamingMode>multicast</StreamingMode>");
    ASSERT_TRUE(server.Start());
    auto channel = StartChannel();

    ASSERT_TRUE(WaitForFrames(10) && WaitUntil([&] { return channel->GetState() == kChannelStreaming; }));
    const unsigned port = server.Options().multicastPort;
    const std::string ports = std::to_string(port) + "-" + std::to_string(port + 1);
    EXPECT_THAT(RequestsOf("SETUP"),
                ElementsAre(HasSubstr("Transport: RTP/AVP/UDP;multicast;client_port=" + ports + "\r\n")));

    // BYE counts once the camera's sender reports are being answered.
    ASSERT_TRUE(server.Recorder().WaitForReceiverReports(1, kWaitMs));
    server.SendBye();  // the simulated camera goes on sending: only the BYE can cause the restart
    EXPECT_TRUE(WaitUntil([&] { return channel->GetState() == kChannelSignalLost; }));
    EXPECT_TRUE(WaitForRequests("DESCRIBE", 2));
    EXPECT_TRUE(WaitForFrames(host.FrameCount() + 5));
    EXPECT_TRUE(WaitUntil([&] { return channel->GetState() == kChannelStreaming; }));
    EXPECT_EQ(host.SignalLostCount(), 0u);
    ExpectBoundedStop(*channel);
}

TEST_F(RTSPChannel, AMulticastDescriptionWithoutConnectionDataIsRetried)
{
    WriteConfiguration("<StreamingMode>multicast</StreamingMode>");
    ASSERT_TRUE(server.Start());  // describes a unicast stream
    auto channel = StartChannel();

    ASSERT_TRUE(WaitForRequests("DESCRIBE", 2));
    EXPECT_EQ(std::make_pair(RequestsOf("SETUP").size(), host.FrameCount()), std::make_pair(size_t{0}, size_t{0}));
    // Repeated lines are suppressed by the channel's logger.
    EXPECT_EQ(driver.CountLinesContaining(
                  "korvane::CBaseRTSPChannel::SdpInfoReceived: RTSP response doesn't contain connection data section. "
                  "RTP multicast stream cannot be started for device 127.0.0.1:80"),
              1u);
    ExpectBoundedStop(*channel);
}

TEST_F(RTSPChannel, StopsInBoundedTimeInEveryPhase)
{
    ASSERT_TRUE(server.Start());

    {  // writing the camera settings (a slow camera)
        auto channel = std::make_unique<CTestRTSPChannel>(&driver, &host, server.Port());
        channel->applyDelayMs = kConnectTimeoutMs;
        ASSERT_TRUE(channel->Start({}) && WaitUntil([&] { return channel->applyCount == 1; }));
        ExpectBoundedStop(*channel);
    }
    {  // probing the first port pair
        auto channel = StartChannel();
        ASSERT_TRUE(WaitUntil([&] { return channel->applyCount == 1; }));
        ExpectBoundedStop(*channel);
        EXPECT_TRUE(RequestsOf("DESCRIBE").empty());
    }
    // Stopped once the channel sent one more request of this method to the faulty camera.
    const auto stopAfterNext = [&](const std::string& method) {
        const size_t sent = RequestsOf(method).size();
        auto channel = StartChannel();
        ASSERT_TRUE(WaitForRequests(method, sent + 1));
        ExpectBoundedStop(*channel);
    };
    server.Faults().stopSending = true;
    stopAfterNext("PLAY");  // waiting for the first frame
    server.Faults().stopSending = false;
    server.Faults().responseDelayMs = 5 * kConnectTimeoutMs;
    stopAfterNext("DESCRIBE");  // waiting for an answer to DESCRIBE
    server.Faults().responseDelayMs = 0;
    EXPECT_EQ(host.OutstandingFrames(), 0u);
}

TEST_F(RTSPChannel, ThePayloadParserFollowsTheVideoEncoding)
{
    CTestRTSPChannel channel(&driver, &host, 0);
    SdpInfo description;
    const struct {
        const char* encoding;
        MediaCodec codec;
        uint32_t fourCC;
    } cases[] = {{"H264/90000", MediaCodec::H264, 0x34363248},    {"MP4V-ES/90000", MediaCodec::Mpeg4, 0x58564944},
                 {"mpeg4-generic/90000", MediaCodec::Mpeg4, 0x58564944}, {"JPEG/90000", MediaCodec::Jpeg, 0x4745504A},
                 {"", MediaCodec::Jpeg, 0x4745504A}};
    for (const auto& each : cases) {
        description.media[SdpInfo::kVideo].encoding = each.encoding;
        EXPECT_TRUE(channel.SdpInfoReceived(description)) << each.encoding;
        // Only the codec's own parser makes a frame of its first picture.
        const size_t framesBefore = host.FrameCount();
        CRTPPacket packet;
        for (const camsim::RtpPayload& payload : FirstFramePayloads(each.codec)) {
            ++packet.m_sequenceNumber;
            packet.m_marker = payload.marker;
            packet.SetPayload(payload.bytes.data(), payload.bytes.size());
            channel.InterleavedPacketReceived(packet);
        }
        ASSERT_EQ(host.FrameCount(), framesBefore + 1) << each.encoding;
        EXPECT_EQ(host.Frames().back().fourCC, each.fourCC) << each.encoding;
    }
    description.media[SdpInfo::kVideo].encoding = "PCMU/8000";
    EXPECT_FALSE(channel.SdpInfoReceived(description));
    EXPECT_TRUE(driver.HasLineContaining(
        "korvane::CBaseRTSPChannel::SdpInfoReceived: Unable to handle RTP video data from device 127.0.0.1:80 - "
        "unexpected payload type \"PCMU/8000\""));
}

TEST_F(RTPDataChannel, ReceivesTheCameraSupervisesAndRestartsWhenPacketsStop)
{
    const std::string cameraAddress = CameraAddress(CameraSite::Channels);
    driver.SetCamera(cameraAddress, 80);
    CTestDataChannel channel(&driver);

    ASSERT_TRUE(channel.Start("Test Data Channel") && WaitUntil([&] { return channel.rtpPort != 0; }));
    const uint16_t port = channel.rtpPort;
    EXPECT_GE(port, 3556);
    EXPECT_EQ(port % 2, 0);

    UdpTestPeer stranger("127.0.0.2");
    UdpTestPeer camera(cameraAddress.c_str());
    for (uint16_t sequence = 1; sequence <= 5; ++sequence)
        stranger.Send(port, MakeRtp(sequence, 0, {0}));
    camera.Send(port, MakeRtp(100, 0, {0}));
    ASSERT_TRUE(WaitUntil([&] { return channel.packets >= 1; }));
    EXPECT_EQ(channel.packets, 1);  // the stranger's earlier packets were dropped
    EXPECT_EQ(channel.lastSequence, 100);

    uint16_t sequence = 101;
    ASSERT_TRUE(WaitUntil([&] {
        camera.Send(port, MakeRtp(sequence++, 0, {0}));
        return channel.supervisions >= 1;
    }));
    EXPECT_EQ(std::make_pair(channel.signalLosses.load(), channel.connects.load()), std::make_pair(0, 1));

    // Silence for longer than the connect time-out: the stream is started again.
    EXPECT_TRUE(WaitUntil([&] { return channel.signalLosses >= 1 && channel.connects >= 2 && channel.rtpPort != 0; }));

    channel.Stop();
    EXPECT_EQ(channel.stops, 1);
    EXPECT_FALSE(driver.HasLineContaining("was not stopped"));
}
