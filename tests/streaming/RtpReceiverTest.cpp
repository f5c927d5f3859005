#include <gtest/gtest.h>

#include "streaming/ParserTestSupport.h"
#include "streaming/RTPReceiver.h"
#include "StreamTestSupport.h"

namespace korvane::test {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(RtpReceiver, DeliversParsedPacketsInArrivalOrderOnItsOwnThread)
{
    FakeDriver driver;
    RecordingStreamUser user;
    CRTPReceiver receiver(&driver);
    receiver.SetUser(&user);
    ASSERT_TRUE(receiver.StartUnicast(0, 0));
    const uint16_t port = receiver.GetPort();
    ASSERT_NE(port, 0);

    UdpTestPeer camera;
    constexpr uint16_t kCount = 50;  // well within the socket buffer
    for (uint16_t i = 0; i < kCount; ++i) {
        ASSERT_TRUE(camera.Send(port, MakeRtp(static_cast<uint16_t>(65510 + i), i, {uint8_t(i), 0xEE})));
        if (i == kCount / 2) {
            ASSERT_TRUE(camera.Send(port, Bytes(12, 0x80)));  // not an RTP packet: dropped
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return user.Count() == kCount; }));

    const std::vector<RecordingStreamUser::Received> received = user.All();
    for (uint16_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(received[i].sequence, static_cast<uint16_t>(65510 + i));
        EXPECT_EQ(received[i].payload, (Bytes{uint8_t(i), 0xEE}));
    }
    EXPECT_EQ(received[0].sender.address, kLoopback);
    EXPECT_EQ(received[0].sender.port, camera.Port());
    EXPECT_NE(received[0].thread, std::this_thread::get_id());
    EXPECT_EQ(received[0].thread, received[kCount - 1].thread);
}

// Datagrams above a path's MTU (a camera's Blocksize, loopback, jumbo frames) are taken from the first one on.
TEST(RtpReceiver, FramesOfLargePacketsArriveWhole)
{
    class ParserUser : public RecordingStreamUser {
    public:
        explicit ParserUser(CRTPMediaParser& parser) : m_parser(parser) {}
        void PacketReceived(const RTPPacketRecord&, const CRTPPacket& packet) override
        {
            m_parser.ProcessPacket(packet);
        }

    private:
        CRTPMediaParser& m_parser;
    };
    camsim::MediaSourceOptions options;
    options.maxPayloadSize = 4000 - 12;
    ParserRig<CJpegRTPMediaParser> sent;
    ParserRig<CJpegRTPMediaParser> received;
    ParserUser user(*received.parser);
    CRTPReceiver receiver;
    receiver.SetUser(&user);
    ASSERT_TRUE(receiver.StartUnicast(0, 0));
    UdpTestPeer camera;
    auto source = OpenSource(camsim::MediaCodec::Jpeg, options);
    std::vector<camsim::RtpPayload> payloads;
    uint32_t step = 0;
    uint16_t sequence = 0;
    for (size_t frame = 1; frame <= 5; ++frame) {
        source->NextFrame(payloads, step);
        for (const camsim::RtpPayload& payload : payloads) {
            sent.feeder->Feed(payload.bytes, payload.marker, 0);
            ASSERT_TRUE(camera.Send(receiver.GetPort(), MakeRtp(sequence++, 0, payload.bytes, payload.marker)));
        }
        ASSERT_EQ(payloads.front().bytes.size(), options.maxPayloadSize);  // 4000-byte datagrams
        ASSERT_TRUE(WaitUntil([&] { return received.host.FrameCount() == frame; }));
    }
    receiver.Stop();
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(received.host.Frames()[i].bytes, sent.host.Frames().at(i).bytes);
}

TEST(RtpReceiver, StartAndStopOnUnicastAndMulticastPorts)
{
    RecordingStreamUser user;
    CRTPReceiver receiver;
    receiver.SetUser(&user);
    ASSERT_TRUE(receiver.StartUnicast(0, 0));
    const uint16_t port = receiver.GetPort();
    EXPECT_FALSE(receiver.StartUnicast(0, 0));  // already started
    receiver.Stop();
    EXPECT_EQ(receiver.GetPort(), 0);
    EXPECT_EQ(user.closed, 1);

    ASSERT_TRUE(receiver.StartUnicast(0, port));  // the port is free again
    CRTPReceiver second;
    second.SetUser(&user);
    EXPECT_FALSE(second.StartUnicast(0, port));  // now occupied
    EXPECT_EQ(second.GetPort(), 0);
    EXPECT_FALSE(second.StartUnicast(2, 0));  // interleaved transport
    UdpTestPeer camera;
    ASSERT_TRUE(camera.Send(port, MakeRtp(1, 1, {1})));
    EXPECT_TRUE(WaitUntil([&] { return user.Count() == 1; }));

    // A multicast group.
    UdpTestPeer probe;
    const uint16_t groupPort = probe.Port();
    probe.Socket().Close();
    ASSERT_TRUE(second.StartMulticast("239.255.42.2", groupPort));
    EXPECT_FALSE(second.StartMulticast("239.255.42.2", groupPort));
    ASSERT_TRUE(camera.Send(groupPort, MakeRtp(9, 9, {3}), platform::ParseIPv4("239.255.42.2")));
    ASSERT_TRUE(WaitUntil([&] { return user.Count() == 2; }));
    EXPECT_EQ(user.At(1).sequence, 9);
    CRTPReceiver invalid;
    EXPECT_FALSE(invalid.StartMulticast("not an address", groupPort));
}

// The user stops the receiver from the delivery thread, on a packet or on a receive time-out (the wait is 2 s).
TEST(RtpReceiver, StopFromTheDeliveryThread)
{
    class StoppingUser : public RecordingStreamUser {
    public:
        void PacketReceived(const RTPPacketRecord& record, const CRTPPacket& packet) override
        {
            RecordingStreamUser::PacketReceived(record, packet);
            Stop();
        }
        void ReceiveTimeout() override
        {
            if (timeouts++ == 0)
                Stop();
        }
        void Stop()
        {
            receiver->Stop();
            stopped = true;
        }
        CRTPReceiver* receiver = nullptr;
        std::atomic<bool> stopped{false};
    };
    for (const bool onPacket : {true, false}) {
        SCOPED_TRACE(onPacket ? "on a packet" : "on a time-out");
        StoppingUser user;
        FakeDriver driver;
        CRTPReceiver receiver(&driver);
        user.receiver = &receiver;
        receiver.SetUser(&user);
        ASSERT_TRUE(receiver.StartUnicast(0, 0));
        UdpTestPeer camera;
        if (onPacket) {
            ASSERT_TRUE(camera.Send(receiver.GetPort(), MakeRtp(1, 1, {1})));
        }
        ASSERT_TRUE(WaitUntil([&] { return user.stopped.load(); }));
        EXPECT_EQ(receiver.GetPort(), 0);
        EXPECT_EQ(user.closed, 1);
        receiver.Stop();
        EXPECT_EQ(user.Count(), onPacket ? 1u : 0u);
        EXPECT_TRUE(WaitUntil([&] { return receiver.StartUnicast(0, 0); }));
        EXPECT_FALSE(driver.HasLineContaining("was not stopped"));
    }
}

}  // namespace
}  // namespace korvane::test
