// RTSP channels end to end against the simulated camera on loopback: every
// transport, the parser choice, signal loss and recovery, BYE, the port-pair
// search, suspend and resume, and bounded stops in every phase.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "camsim/media/MediaSource.h"
#include "channels/ChannelTestSupport.h"
#include "platform/Time.h"
#include "streaming/RTPPacket.h"
#include "streaming/SdpInfo.h"

using namespace korvane;
using namespace korvane::test;
using camsim::MediaCodec;
using namespace ::testing;

namespace {

// The first port of the client_port pair a SETUP asked for; 0 without one.
unsigned ClientPort(const std::string& setup)
{
    const size_t at = setup.find("client_port=");
    return at == std::string::npos ? 0 : static_cast<unsigned>(std::strtoul(setup.c_str() + at + 12, nullptr, 10));
}

// A port the system hands out as free, for a multicast group.
uint16_t FreeUdpPort()
{
    platform::UdpSocket socket;
    socket.Create();
    socket.Bind(0);
    return socket.LocalPort();
}

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
                  m_sender.Send(port, sequence);
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
    RtpSender m_sender;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class RTSPChannel : public ChannelTest {
protected:
    // A stop within its bound never reaches the "cannot be stopped" line.
    void ExpectBoundedStop(CTestRTSPChannel& channel)
    {
        channel.Stop();
        EXPECT_EQ(channel.GetState(), kChannelStopped);
        EXPECT_FALSE(driver.HasLineContaining("cannot be stopped"));
        EXPECT_FALSE(driver.HasLineContaining("was not stopped"));
    }
};

}  // namespace

TEST_F(RTSPChannel, AUnicastSessionSkipsOccupiedPortsDeliversFramesSuspendsLosesTheSignalAndRecovers)
{
    const uint16_t first = FirstFreePorts(6);
    ASSERT_NE(first, 0);
    platform::UdpSocket taken;  // P: bound by someone else
    ASSERT_TRUE(taken.Create() && taken.Bind(first));
    StrayStream stray(static_cast<uint16_t>(first + 2));  // P + 2: the camera still sends there
    ASSERT_TRUE(server.Start());
    auto channel = StartChannel(kStreamRec);

    ASSERT_TRUE(WaitForFrames(10));
    EXPECT_TRUE(WaitUntil([&] { return channel->GetState() == kChannelStreaming; }));
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
    const unsigned port = ClientPort(setups[0]);
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
    const size_t before = host.FrameCount();
    EXPECT_TRUE(WaitForFrames(before + 5));
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
    server.Options().multicastPort = FreeUdpPort();
    WriteConfiguration("<StreamingMode>multicast</StreamingMode>");
    ASSERT_TRUE(server.Start());
    auto channel = StartChannel();

    ASSERT_TRUE(WaitForFrames(10));
    EXPECT_TRUE(WaitUntil([&] { return channel->GetState() == kChannelStreaming; }));
    const std::vector<std::string> setups = RequestsOf("SETUP");
    ASSERT_EQ(setups.size(), 1u);
    const unsigned port = server.Options().multicastPort;
    EXPECT_THAT(setups[0], HasSubstr("Transport: RTP/AVP/UDP;multicast;client_port=" + std::to_string(port) + "-" +
                                     std::to_string(port + 1) + "\r\n"));

    // BYE counts once the camera's sender reports are being answered.
    ASSERT_TRUE(server.Recorder().WaitForReceiverReports(1, kWaitMs));
    server.SendBye();  // the simulated camera goes on sending: only the BYE can cause the restart
    EXPECT_TRUE(WaitUntil([&] { return channel->GetState() == kChannelSignalLost; }));
    EXPECT_TRUE(WaitForRequests("DESCRIBE", 2));
    const size_t before = host.FrameCount();
    EXPECT_TRUE(WaitForFrames(before + 5));
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
    EXPECT_TRUE(RequestsOf("SETUP").empty());
    EXPECT_EQ(host.FrameCount(), 0u);
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
        ASSERT_TRUE(channel->Start({}));
        ASSERT_TRUE(WaitUntil([&] { return channel->applyCount == 1; }));
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
        std::vector<camsim::RtpPayload> payloads;
        uint32_t step = 0;
        camsim::OpenMediaSource(each.codec)->NextFrame(payloads, step);
        const size_t framesBefore = host.FrameCount();
        CRTPPacket packet;
        for (const camsim::RtpPayload& payload : payloads) {
            ++packet.m_sequenceNumber;
            packet.m_marker = payload.marker;
            packet.m_payload = payload.bytes;
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
