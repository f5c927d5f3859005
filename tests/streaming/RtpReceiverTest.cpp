#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "streaming/JpegRTPMediaParser.h"
#include "streaming/ParserTestSupport.h"
#include "streaming/RTPReceiver.h"
#include "support/FakeDriver.h"
#include "UdpTestPeer.h"

namespace korvane {
namespace {

using Bytes = std::vector<uint8_t>;

class RecordingReceiverUser : public IRTPReceiverUser {
public:
    void PacketReceived(const RTPPacketRecord& record, const CRTPPacket& packet) override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        sequences.push_back(packet.m_sequenceNumber);
        payloads.push_back(packet.m_payload);
        senders.push_back(record.sender);
        threads.push_back(std::this_thread::get_id());
    }
    void ReceiveTimeout() override { ++timeouts; }
    void ReceiverClosed() override { ++closed; }

    size_t Count()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return sequences.size();
    }

    std::mutex m_mutex;
    std::vector<uint16_t> sequences;
    std::vector<Bytes> payloads;
    std::vector<platform::IPv4Endpoint> senders;
    std::vector<std::thread::id> threads;
    std::atomic<int> timeouts{0};
    std::atomic<int> closed{0};
};

TEST(RtpReceiver, DeliversParsedPacketsInArrivalOrderOnItsOwnThread)
{
    test::FakeDriver driver;
    RecordingReceiverUser user;
    CRTPReceiver receiver(&driver);
    receiver.SetUser(&user);
    ASSERT_TRUE(receiver.StartUnicast(0, 0));
    const uint16_t port = receiver.GetPort();
    ASSERT_NE(port, 0);

    test::UdpTestPeer camera;
    constexpr uint16_t kCount = 50;  // well within the socket buffer
    for (uint16_t i = 0; i < kCount; ++i) {
        ASSERT_TRUE(camera.Send(port, test::MakeRtp(static_cast<uint16_t>(65510 + i), i, {uint8_t(i), 0xEE})));
        if (i == kCount / 2) {
            ASSERT_TRUE(camera.Send(port, Bytes(12, 0x80)));  // not an RTP packet: dropped
        }
    }
    ASSERT_TRUE(test::WaitUntil([&] { return user.Count() == kCount; }));

    std::lock_guard<std::mutex> guard(user.m_mutex);
    for (uint16_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(user.sequences[i], static_cast<uint16_t>(65510 + i));
        EXPECT_EQ(user.payloads[i], (Bytes{uint8_t(i), 0xEE}));
    }
    EXPECT_EQ(user.senders[0].address, test::kLoopback);
    EXPECT_EQ(user.senders[0].port, camera.Port());
    EXPECT_NE(user.threads[0], std::this_thread::get_id());
    EXPECT_EQ(user.threads[0], user.threads[kCount - 1]);
}

// Datagrams above a path's MTU (a camera's Blocksize, loopback, jumbo frames) are taken from the first one on.
TEST(RtpReceiver, FramesOfLargePacketsArriveWhole)
{
    class ParserUser : public IRTPReceiverUser {
    public:
        explicit ParserUser(CRTPMediaParser& parser) : m_parser(parser) {}
        void PacketReceived(const RTPPacketRecord&, const CRTPPacket& packet) override
        {
            m_parser.ProcessPacket(packet);
        }
        void ReceiveTimeout() override {}
        void ReceiverClosed() override {}

    private:
        CRTPMediaParser& m_parser;
    };
    camsim::MediaSourceOptions options;
    options.maxPayloadSize = 4000 - 12;
    test::ParserRig<CJpegRTPMediaParser> sent;
    test::ParserRig<CJpegRTPMediaParser> received;
    ParserUser user(*received.parser);
    CRTPReceiver receiver;
    receiver.SetUser(&user);
    ASSERT_TRUE(receiver.StartUnicast(0, 0));
    test::UdpTestPeer camera;
    auto source = test::OpenSource(camsim::MediaCodec::Jpeg, options);
    std::vector<camsim::RtpPayload> payloads;
    uint32_t step = 0;
    uint16_t sequence = 0;
    for (size_t frame = 1; frame <= 5; ++frame) {
        source->NextFrame(payloads, step);
        for (const camsim::RtpPayload& payload : payloads) {
            sent.feeder->Feed(payload.bytes, payload.marker, 0);
            ASSERT_TRUE(camera.Send(receiver.GetPort(), test::MakeRtp(sequence++, 0, payload.bytes, payload.marker)));
        }
        ASSERT_EQ(payloads.front().bytes.size(), options.maxPayloadSize);  // 4000-byte datagrams
        ASSERT_TRUE(test::WaitUntil([&] { return received.host.FrameCount() == frame; }));
    }
    receiver.Stop();
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(received.host.Frames()[i].bytes, sent.host.Frames().at(i).bytes);
}

TEST(RtpReceiver, StopClosesThePortAndAllowsARestartAndAnOccupiedPortFails)
{
    RecordingReceiverUser user;
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
    test::UdpTestPeer camera;
    ASSERT_TRUE(camera.Send(port, test::MakeRtp(1, 1, {1})));
    EXPECT_TRUE(test::WaitUntil([&] { return user.Count() == 1; }));
}

TEST(RtpReceiver, ReceivesAMulticastGroup)
{
    RecordingReceiverUser user;
    CRTPReceiver receiver;
    receiver.SetUser(&user);
    test::UdpTestPeer probe;
    const uint16_t port = probe.Port();
    probe.Socket().Close();
    ASSERT_TRUE(receiver.StartMulticast("239.255.42.2", port));
    EXPECT_FALSE(receiver.StartMulticast("239.255.42.2", port));

    test::UdpTestPeer camera;
    ASSERT_TRUE(camera.Send(port, test::MakeRtp(9, 9, {3}), platform::ParseIPv4("239.255.42.2")));
    ASSERT_TRUE(test::WaitUntil([&] { return user.Count() == 1; }));
    EXPECT_EQ(user.sequences[0], 9);

    CRTPReceiver invalid;
    EXPECT_FALSE(invalid.StartMulticast("not an address", port));
}

TEST(RtpReceiver, StopFromTheDeliveryThreadEndsDelivery)
{
    class StoppingUser : public RecordingReceiverUser {
    public:
        void PacketReceived(const RTPPacketRecord& record, const CRTPPacket& packet) override
        {
            RecordingReceiverUser::PacketReceived(record, packet);
            receiver->Stop();
            stopped = true;
        }
        CRTPReceiver* receiver = nullptr;
        std::atomic<bool> stopped{false};
    } user;
    test::FakeDriver driver;
    CRTPReceiver receiver(&driver);
    user.receiver = &receiver;
    receiver.SetUser(&user);
    ASSERT_TRUE(receiver.StartUnicast(0, 0));
    test::UdpTestPeer camera;
    ASSERT_TRUE(camera.Send(receiver.GetPort(), test::MakeRtp(1, 1, {1})));
    ASSERT_TRUE(test::WaitUntil([&] { return user.stopped.load(); }));
    EXPECT_EQ(receiver.GetPort(), 0);
    receiver.Stop();
    EXPECT_EQ(user.Count(), 1u);
    EXPECT_FALSE(driver.HasLineContaining("was not stopped"));
}

TEST(RtpReceiver, StopFromAReceiveTimeoutCallback)
{
    class StoppingUser : public RecordingReceiverUser {
    public:
        void ReceiveTimeout() override
        {
            if (timeouts++ == 0) {
                receiver->Stop();
                stopped = true;
            }
        }
        CRTPReceiver* receiver = nullptr;
        std::atomic<bool> stopped{false};
    } user;
    test::FakeDriver driver;
    CRTPReceiver receiver(&driver);
    user.receiver = &receiver;
    receiver.SetUser(&user);
    ASSERT_TRUE(receiver.StartUnicast(0, 0));  // the receive wait is 2 s
    ASSERT_TRUE(test::WaitUntil([&] { return user.stopped.load(); }));
    EXPECT_EQ(receiver.GetPort(), 0);
    EXPECT_EQ(user.closed, 1);
    EXPECT_TRUE(test::WaitUntil([&] { return receiver.StartUnicast(0, 0); }));
    EXPECT_FALSE(driver.HasLineContaining("was not stopped"));
}

}  // namespace
}  // namespace korvane
