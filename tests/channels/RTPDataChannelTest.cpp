// The audio stream base: unicast receivers on a free port pair, packets only
// from the camera, supervision while they arrive and a restart when they stop.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>

#include "channels/BaseRTPDataChannel.h"
#include "channels/ChannelTestSupport.h"
#include "streaming/RTPPacket.h"
#include "support/CameraAddress.h"
#include "support/FakeDriver.h"
#include "support/ScratchDirectory.h"

using namespace korvane;
using namespace korvane::test;

namespace {

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

TEST(RTPDataChannel, ReceivesTheCameraSupervisesAndRestartsWhenPacketsStop)
{
    FakeDriver driver;
    ScratchDirectory scratch;
    driver.hostDirectory = scratch.Path();
    driver.deviceInfo.requestTimeoutMs = kConnectTimeoutMs;
    const std::string cameraAddress = CameraAddress(CameraSite::Channels);
    driver.SetCamera(cameraAddress, 80);
    CTestDataChannel channel(&driver);

    ASSERT_TRUE(channel.Start("Test Data Channel"));
    ASSERT_TRUE(WaitUntil([&] { return channel.rtpPort != 0; }));
    const uint16_t port = channel.rtpPort;
    EXPECT_GE(port, 3556);
    EXPECT_EQ(port % 2, 0);

    RtpSender stranger("127.0.0.2");
    RtpSender camera(cameraAddress.c_str());
    for (uint16_t sequence = 1; sequence <= 5; ++sequence)
        stranger.Send(port, sequence);
    camera.Send(port, 100);
    ASSERT_TRUE(WaitUntil([&] { return channel.packets >= 1; }));
    EXPECT_EQ(channel.packets, 1);  // the stranger's earlier packets were dropped
    EXPECT_EQ(channel.lastSequence, 100);

    uint16_t sequence = 101;
    ASSERT_TRUE(WaitUntil([&] {
        camera.Send(port, sequence++);
        return channel.supervisions >= 1;
    }));
    EXPECT_EQ(channel.signalLosses, 0);
    EXPECT_EQ(channel.connects, 1);

    // Silence for longer than the connect time-out: the stream is started again.
    EXPECT_TRUE(WaitUntil([&] { return channel.signalLosses >= 1 && channel.connects >= 2 && channel.rtpPort != 0; }));

    channel.Stop();
    EXPECT_EQ(channel.stops, 1);
    EXPECT_FALSE(driver.HasLineContaining("was not stopped"));
}
