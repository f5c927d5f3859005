// RTP packets, alone and framed in the RTSP stream, the frame times made of their time stamps, and the datagram
// client and the RTP and RTCP receivers built on it, against peers on loopback.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <set>
#include <sstream>
#include <tuple>

#include "platform/Time.h"
#include "streaming/ParserTestSupport.h"
#include "streaming/RTCPHandler.h"
#include "streaming/RTPPacketQueue.h"
#include "streaming/RTPReceiver.h"
#include "streaming/RTPSequenceTracker.h"
#include "streaming/RTSPStreamParser.h"
#include "streaming/TimeStampConverter.h"
#include "streaming/UDPClient.h"
#include "StreamTestSupport.h"
#include "support/FakeDriver.h"
#include "support/TestData.h"

namespace korvane::test {
namespace {

using Bytes = std::vector<uint8_t>;

// "parses" or "refused", then the packet's fields as tests/data/streaming/rtp-packets.txt lists them.
std::string Summary(bool parses, const CRTPPacket& p)
{
    const auto hex = [](const uint8_t* bytes, size_t length) {
        return length == 0 ? std::string("-") : Hex(Bytes(bytes, bytes + length));
    };
    std::ostringstream text;
    text << (parses ? "parses " : "refused ") << int{p.m_marker} << ' ' << int{p.m_payloadType} << ' '
         << int{p.m_padding} << ' ' << p.m_sequenceNumber << ' ' << p.m_timeStamp << ' ' << p.m_csrcCount << ' '
         << hex(p.m_csrcList, 4u * p.m_csrcCount) << ' ' << p.m_extensionProfile << ' ' << p.m_extensionLength
         << ' ' << hex(p.m_extension, 4u * p.m_extensionLength) << ' ' << hex(p.Payload(), p.PayloadLength());
    return text.str();
}

TEST(RtpPacket, ParsesWellFormedVersionTwoPacketsAndRejectsTheRest)
{
    const std::vector<std::string> lines = ReadTestDataLines("streaming/rtp-packets.txt");
    EXPECT_EQ(lines.size(), 17u);
    CRTPPacket packet;
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        const size_t bar = line.find(" | ");
        const Bytes bytes = FromHex(line.substr(0, bar));
        const bool parses = packet.Parse(bytes.data(), bytes.size());
        EXPECT_EQ(Summary(parses, packet), line.substr(bar + 3));
    }
    const Bytes header = MakeRtp(0xABCD, 0x01020304, {1, 2, 3}, true);
    ASSERT_TRUE(packet.Parse(header.data(), header.size()));
    EXPECT_EQ(std::memcmp(&packet.m_ssrc, &header[8], sizeof packet.m_ssrc), 0);  // kept as received
    EXPECT_FALSE(packet.Parse(nullptr, 20));
}

// An RTP packet of `size` bytes (12-byte header) framed on channel 0.
Bytes Frame(uint16_t sequence, size_t size)
{
    Bytes frame{'$', 0, static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
    const Bytes packet = MakeRtp(sequence, 0x11111111, Bytes(size - 12, 0x11));
    frame.insert(frame.end(), packet.begin(), packet.end());
    return frame;
}

// Each stream goes to a parser of its own in pieces cut at the given offsets.
TEST(RtspStreamParser, FindsTheFramesBetweenTextGarbageAndOtherChannels)
{
    const std::string text = "RTSP/1.0 200 OK\r\nCSeq: 4\r\nSession: 1\r\n\r\n";
    Bytes garbage;
    for (int i = 0; i < 5000; ++i)
        garbage.push_back(static_cast<uint8_t>((i * 37) % 251 + 1));  // no NUL: never a frame
    const Bytes textThenFrames = Join({Bytes(text.begin(), text.end()), Frame(1, 20), Frame(2, 1400)});
    const Bytes splitFrames = Join({Frame(1, 500), Frame(2, 40), Frame(3, 1400)});
    const Bytes bytewise = Join({Frame(5, 300), Frame(6, 13)});
    std::vector<size_t> everyByte(bytewise.size() - 1);
    std::iota(everyByte.begin(), everyByte.end(), 1);
    // Reads that fill the window many times over, each ending inside a packet; then the longest packet.
    Bytes longStream;
    std::vector<uint16_t> manySequences;
    for (uint16_t sequence = 1; sequence <= 121; ++sequence) {
        const Bytes frame = Frame(sequence, sequence <= 120 ? 1400 : 65535);
        longStream.insert(longStream.end(), frame.begin(), frame.end());
        manySequences.push_back(sequence);
    }
    std::vector<size_t> manySizes(120, 1388);
    manySizes.push_back(65523);
    std::vector<size_t> readCuts;
    for (size_t cut = 8000; cut < longStream.size(); cut += 8000)
        readCuts.push_back(cut);
    const struct {
        const char* name;
        Bytes stream;
        std::vector<size_t> cuts;
        bool throwingUser;
        std::vector<uint16_t> sequences;
        std::vector<size_t> payloadSizes;
    } rows[] = {
        // A doubled dollar starts the frame at the second.
        {"response text, doubled dollar", Join({textThenFrames, {'$'}, Frame(9, 16)}), {textThenFrames.size()},
         false, {1, 2, 9}, {8, 1388, 4}},
        // A channel 1 frame (RTCP) whose body holds no sync pattern.
        {"zero length, other channel", Join({{'$', 0, 0, 0}, Frame(7, 16),
                                             {'$', 1, 0, 8, 0x80, 200, 0, 1, 1, 2, 3, 4}, Frame(8, 16)}),
         {}, false, {7, 8}, {4, 4}},
        // A framed payload that is no RTP packet (version 0) is dropped.
        {"garbage, bad packet, user faults",
         Join({garbage, {'$', 0, 0, 13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, Frame(1, 13), Frame(2, 13)}), {},
         true, {1, 2}, {1, 1}},
        // The first frame ends inside the second piece, which holds the next frame whole.
        {"split across calls", splitFrames, {200, splitFrames.size() - 700}, false, {1, 2, 3}, {488, 28, 1388}},
        {"byte by byte", bytewise, everyByte, false, {5, 6}, {288, 1}},
        {"window turns over", longStream, readCuts, false, manySequences, manySizes},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingStreamUser user;
        user.throwFromUser = row.throwingUser;
        CRTSPStreamParser parser(&user);
        const auto read = [&parser, &row](size_t from, size_t to) {
            std::copy(row.stream.begin() + from, row.stream.begin() + to, parser.ReceiveSpace(to - from));
            parser.Process(to - from);
        };
        size_t at = 0;
        for (size_t cut : row.cuts) {
            read(at, cut);
            at = cut;
        }
        read(at, row.stream.size());
        std::vector<size_t> sizes;
        for (const Bytes& payload : user.Payloads())
            sizes.push_back(payload.size());
        EXPECT_EQ(user.Sequences(), row.sequences);
        EXPECT_EQ(sizes, row.payloadSizes);
    }
}

// The converters' wall clock, set by the tests.
const uint64_t kStart = platform::SystemTimeToFileTime({2026, 1, 5, 2, 3, 4, 5, 678});
uint64_t g_now = kStart;
uint64_t FakeClock() { return g_now; }

// Starts at the wall clock, reported as calendar time; after learning follows the measured rate and works off its
// lead; once reset knows nothing.
TEST(TimeStampConverter, StartsAtTheWallClockFollowsTheMeasuredRateAndResets)
{
    ASSERT_NE(kStart, 0u);
    g_now = kStart;
    CTimeStampConverter converter(FakeClock);
    uint32_t timeStamp = 1000;
    converter.Update(timeStamp);
    EXPECT_EQ(converter.GetFrameTime(), kStart);
    SYSTEMTIME time{};
    converter.GetTime(time);
    EXPECT_EQ(std::make_tuple(time.wYear, time.wSecond, time.wMilliseconds), std::make_tuple(2026, 5, 678));

    // The camera's clock runs slow: 3600 ticks take 30 ms of wall clock, so
    // the nominal rate builds up a lead of almost 10 ms per frame.
    for (int frame = 1; frame <= 100; ++frame) {
        g_now += 300000;
        converter.Update(timeStamp += 3600);
    }
    ASSERT_EQ(converter.GetFrameTime() - g_now, 100u * 99600);
    // The lead shrinks by a tenth of each measured step.
    for (const uint64_t lead : {100u * 99600 - 30000, 100u * 99600 - 60000}) {
        g_now += 300000;
        converter.Update(timeStamp += 3600);
        EXPECT_EQ(converter.GetFrameTime() - g_now, lead);
    }

    converter.Reset();
    EXPECT_EQ(converter.GetFrameTime(), 0u);
    converter.GetTime(time);
    EXPECT_EQ(time.wYear, platform::UtcTimeNow().wYear);  // the real clock while nothing is known
}

// Frame times while the rate is learnt, after each step of the wall clock and the RTP time stamp.
TEST(TimeStampConverter, LearnsOnTheNominalNinetyKilohertzClockWithinItsBounds)
{
    struct Step {
        uint64_t wallClockAdvance;
        uint32_t timeStamp;
        uint64_t frameTime;  // after the start
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } scenarios[] = {
        {"the nominal clock", {{0, 1000, 0}, {0, 4600, 399600}, {0, 8200, 2 * 399600}, {0, 11800, 3 * 399600},
                               {0, 15400, 4 * 399600}, {0, 19000, 5 * 399600}}},
        {"behind the wall clock: moved to it", {{0, 1000, 0}, {500000, 1000 + 3600, 500000}}},
        {"a step of a second or more restarts at the wall clock",
         {{0, 1000, 0}, {0, 1000 + 90090, 90090 * 111}, {1000, 1000 + 90090 + 90091, 1000}}},
        {"repeated or wrapped: one millisecond on",
         {{0, 0xFFFFF000u, 0}, {0, 0xFFFFF000u, 10000}, {0, 0x100, 20000}, {50000, 0x100, 50000}}},
    };
    for (const auto& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        CTimeStampConverter learning(FakeClock);
        g_now = kStart;
        for (const Step& step : scenario.steps) {
            g_now += step.wallClockAdvance;
            learning.Update(step.timeStamp);
            EXPECT_EQ(learning.GetFrameTime(), kStart + step.frameTime) << step.timeStamp;
        }
    }
}

TEST(StatisticsHelper, KeepsARollingWindow)
{
    TStatisticsHelper<unsigned int> statistics(3);
    EXPECT_EQ(statistics.Mean(), 0.0);
    for (unsigned int value : {10u, 20u, 30u, 100u})
        statistics.Add(value);
    EXPECT_EQ(statistics.Count(), 3u);
    EXPECT_DOUBLE_EQ(statistics.Mean(), 50.0);
    statistics.Clear();
    EXPECT_EQ(statistics.Count(), 0u);
}

TEST(UdpClient, ReceivesUnicastAndMulticastDatagramsReportsTimeOutsAndClosesPromptly)
{
    FakeDriver driver;
    RecordingStreamUser user;
    CUDPClient client(&driver);
    ASSERT_TRUE(client.OpenUnicast(&user, 0));
    const uint16_t port = client.GetPort();
    ASSERT_NE(port, 0);
    EXPECT_FALSE(client.OpenUnicast(&user, 0));  // already open

    UdpTestPeer peer;
    ASSERT_TRUE(peer.Send(port, {1, 2, 3}) && peer.Send(port, Bytes(3000, 0xAB)));
    ASSERT_TRUE(WaitUntil([&] { return user.packets == 2; }));
    EXPECT_EQ(user.Payloads(), (std::vector<Bytes>{{1, 2, 3}, Bytes(3000, 0xAB)}));
    EXPECT_EQ(user.All()[0].sender, (platform::IPv4Endpoint{kLoopback, peer.Port()}));
    // Another client on the occupied port fails, as does one without a user.
    RecordingStreamUser other;  // the second client's multicast user below, outliving it
    CUDPClient second;
    EXPECT_EQ((std::vector<int>{second.OpenUnicast(&user, port), second.GetPort(), second.OpenUnicast(nullptr, 0)}),
              (std::vector<int>{false, 0, false}));
    // Closed twice, reported once.
    EXPECT_EQ((std::vector<int>{client.Close(), user.closed, client.GetPort(), client.Close(), user.closed}),
              (std::vector<int>{true, 1, 0, true, 1}));

    // Reopened with a small receive size: an oversized datagram is lost, but makes room for the next reads.
    client.SetReceiveSize(1000);
    ASSERT_TRUE(client.OpenUnicast(&user, 0));
    ASSERT_TRUE(peer.Send(client.GetPort(), Bytes(1500, 1)) && peer.Send(client.GetPort(), {9}));
    ASSERT_TRUE(WaitUntil([&] { return user.packets == 3; }));
    ASSERT_TRUE(peer.Send(client.GetPort(), Bytes(1500, 2)));
    ASSERT_TRUE(WaitUntil([&] { return user.packets == 4; }));
    EXPECT_EQ(user.Payloads()[2], Bytes{9});
    EXPECT_EQ(user.Payloads()[3], Bytes(1500, 2));
    EXPECT_TRUE(client.Close());

    // Receive time-outs are reported; a close ends a wait long before its time-out.
    client.SetSelectTimeout(20);
    ASSERT_TRUE(client.OpenUnicast(&user, 0));
    const int timeoutsBefore = user.timeouts;
    EXPECT_TRUE(WaitUntil([&] { return user.timeouts >= timeoutsBefore + 2; }));
    EXPECT_TRUE(client.Close());
    client.SetSelectTimeout(60000);
    ASSERT_TRUE(client.OpenUnicast(&user, 0) && peer.Send(client.GetPort(), {7}));
    EXPECT_TRUE(WaitUntil([&] { return user.packets == 5; }));
    const int timeouts = user.timeouts;
    EXPECT_LT(TimedMs([&] { EXPECT_TRUE(client.Close()); }), 10000u);
    EXPECT_FALSE(driver.HasLineContaining("was not stopped"));
    EXPECT_EQ(user.timeouts, timeouts);

    // Two clients share a multicast group's port; an invalid group is rejected.
    const uint16_t groupPort = FreePort();
    ASSERT_TRUE(client.OpenMulticast(&user, "239.255.42.1", groupPort));
    ASSERT_TRUE(second.OpenMulticast(&other, "239.255.42.1", groupPort));
    ASSERT_TRUE(peer.Send(groupPort, {4, 2}, platform::ParseIPv4("239.255.42.1")));
    EXPECT_TRUE(WaitUntil([&] { return user.packets == 6 && other.packets == 1; }));
    EXPECT_EQ(std::make_pair(user.Payloads().back(), other.Payloads()),
              std::make_pair(Bytes{4, 2}, std::vector<Bytes>{{4, 2}}));
    CUDPClient invalid;
    EXPECT_EQ((std::vector<int>{invalid.OpenMulticast(&other, "239.1.300.1", 0),
                                invalid.OpenMulticast(&other, nullptr, 0), invalid.GetPort()}),
              (std::vector<int>{false, false, 0}));
}

TEST(UdpClient, CloseFromItsOwnCallbackDoesNotWaitForItself)
{
    struct ClosingUser : RecordingStreamUser {
        void ReceiveTimeout(IRTPClient* client) override
        {
            RecordingStreamUser::ReceiveTimeout(client);
            closeResult = client->Close() ? 1 : 0;
        }
        std::atomic<int> closeResult{-1};
    } user;
    CUDPClient client;
    client.SetSelectTimeout(10);
    ASSERT_TRUE(client.OpenUnicast(&user, 0) && WaitUntil([&] { return user.closeResult != -1; }));
    // A thread cannot stop itself.
    EXPECT_EQ((std::vector<int>{user.closeResult, user.closed, client.GetPort()}), (std::vector<int>{0, 1, 0}));
    EXPECT_TRUE(WaitUntil([&] { return client.OpenUnicast(&user, 0); }));
}

TEST(RtpReceiver, DeliversParsedPacketsInArrivalOrderOnItsOwnThreadAndStartsOnFreePortsOnly)
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
    std::vector<uint16_t> sequences;
    std::vector<Bytes> payloads;
    for (uint16_t i = 0; i < kCount; ++i) {
        sequences.push_back(static_cast<uint16_t>(65510 + i));
        payloads.push_back({uint8_t(i), 0xEE});
        ASSERT_TRUE(camera.Send(port, MakeRtp(sequences.back(), i, payloads.back())));
        ASSERT_TRUE(i != kCount / 2 || camera.Send(port, Bytes(12, 0x80)));  // half-way, no RTP packet: dropped
    }
    ASSERT_TRUE(WaitUntil([&] { return user.packets == kCount; }));
    EXPECT_EQ(user.Sequences(), sequences);
    EXPECT_EQ(user.Payloads(), payloads);
    const std::vector<RecordingStreamUser::Received> received = user.All();
    EXPECT_EQ(received[0].sender, (platform::IPv4Endpoint{kLoopback, camera.Port()}));
    EXPECT_NE(received[0].thread, std::this_thread::get_id());
    EXPECT_EQ(received[0].thread, received[kCount - 1].thread);

    EXPECT_FALSE(receiver.StartUnicast(0, 0));  // already started
    receiver.Stop();
    EXPECT_EQ(std::make_pair(receiver.GetPort(), user.closed.load()), std::make_pair(uint16_t{0}, 1));
    ASSERT_TRUE(receiver.StartUnicast(0, port));  // the port is free again
    CRTPReceiver second;
    second.SetUser(&user);
    EXPECT_FALSE(second.StartUnicast(0, port));  // now occupied
    EXPECT_EQ(second.GetPort(), 0);
    EXPECT_FALSE(second.StartUnicast(2, 0));  // interleaved transport
    ASSERT_TRUE(camera.Send(port, MakeRtp(1, 1, {1})));
    EXPECT_TRUE(WaitUntil([&] { return user.packets == kCount + 1; }));

    // A multicast group.
    const uint16_t groupPort = FreePort();
    ASSERT_TRUE(second.StartMulticast("239.255.42.2", groupPort));
    EXPECT_FALSE(second.StartMulticast("239.255.42.2", groupPort));
    ASSERT_TRUE(camera.Send(groupPort, MakeRtp(9, 9, {3}), platform::ParseIPv4("239.255.42.2")));
    ASSERT_TRUE(WaitUntil([&] { return user.packets == kCount + 2; }));
    EXPECT_EQ(user.Sequences()[kCount + 1], 9);
    CRTPReceiver invalid;
    EXPECT_FALSE(invalid.StartMulticast("not an address", groupPort));
}

// A batch read's datagrams queue in order; a record takes its datagram's buffer and gives the slot a delivered
// record's buffer back, so a running stream reuses its buffers; one that is no RTP packet keeps its own.
TEST(RtpPacketQueue, QueuesABatchInOrderAndRecyclesTheBuffersOfDeliveredPackets)
{
    const std::vector<Bytes> datagrams = {MakeRtp(7, 1, {1, 2}), Bytes(12, 0x80), MakeRtp(8, 1, {3})};
    std::vector<platform::ReceivedDatagram> batch(datagrams.size());
    const auto read = [&] {
        for (size_t i = 0; i < batch.size(); ++i) {
            batch[i].buffer.Reserve(64);
            std::copy(datagrams[i].begin(), datagrams[i].end(), batch[i].buffer.Data());
            batch[i].length = datagrams[i].size();
            batch[i].sender = {kLoopback, static_cast<uint16_t>(5000 + i)};
        }
    };
    CRTPPacketQueue queue;
    CRTPPacketQueue::Records records;
    read();
    const uint8_t* const firstBuffer = batch[0].buffer.Data();
    const uint8_t* const refusedBuffer = batch[1].buffer.Data();
    ASSERT_TRUE(queue.Append(batch.data(), batch.size()));
    queue.TakeAll(records);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(std::make_pair(records[0]->packet.m_sequenceNumber, records[1]->packet.m_sequenceNumber),
              std::make_pair(uint16_t{7}, uint16_t{8}));
    EXPECT_EQ(PayloadOf(records[0]->packet), (Bytes{1, 2}));
    EXPECT_EQ(records[1]->sender.port, 5002);
    EXPECT_EQ(records[0]->datagram.Data(), firstBuffer);
    EXPECT_EQ(batch[1].buffer.Data(), refusedBuffer);

    const std::set<const uint8_t*> delivered = {records[0]->datagram.Data(), records[1]->datagram.Data()};
    queue.Recycle(records);
    EXPECT_TRUE(records.empty());
    read();
    ASSERT_TRUE(queue.Append(batch.data(), 1));
    EXPECT_EQ(delivered.count(batch[0].buffer.Data()), 1u);  // a delivered record's buffer, back in the slot
    EXPECT_FALSE(queue.Append(batch.data() + 1, 1));
    queue.Clear();
    queue.TakeAll(records);
    EXPECT_TRUE(records.empty());
}

// Datagrams above a path's MTU (a camera's Blocksize, loopback, jumbo frames) are taken from the first one on.
TEST(RtpReceiver, FramesOfLargePacketsArriveWhole)
{
    struct ParserUser : RecordingStreamUser {
        void PacketReceived(const RTPPacketRecord&, const CRTPPacket& p) override { parser->ProcessPacket(p); }
        CRTPMediaParser* parser = nullptr;
    };
    camsim::MediaSourceOptions options;
    options.maxPayloadSize = 4000 - 12;
    ParserRig<CJpegRTPMediaParser> sent;
    ParserRig<CJpegRTPMediaParser> received;
    ParserUser user;
    user.parser = received.parser.get();
    CRTPReceiver receiver;
    receiver.SetUser(&user);
    ASSERT_TRUE(receiver.StartUnicast(0, 0));
    UdpTestPeer camera;
    uint16_t sequence = 0;
    const auto send = [&](size_t, size_t packet, camsim::RtpPayload& payload) {
        if (packet == 0) {
            EXPECT_EQ(payload.bytes.size(), options.maxPayloadSize);  // 4000-byte datagrams
        }
        EXPECT_TRUE(camera.Send(receiver.GetPort(), MakeRtp(sequence++, 0, payload.bytes, payload.marker)));
        return false;
    };
    sent.feeder->FeedFrames(*camsim::OpenMediaSource(camsim::MediaCodec::Jpeg, options), 5, send);
    ASSERT_TRUE(WaitUntil([&] { return received.host.FrameCount() == 5; }));
    receiver.Stop();
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(received.host.Frames()[i].bytes, sent.host.Frames().at(i).bytes);
}

// The user stops the receiver from the delivery thread, on a packet or on a receive time-out (the wait is 2 s).
TEST(RtpReceiver, StopFromTheDeliveryThread)
{
    struct StoppingUser : RecordingStreamUser {
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
        ASSERT_TRUE(!onPacket || camera.Send(receiver.GetPort(), MakeRtp(1, 1, {1})));
        ASSERT_TRUE(WaitUntil([&] { return user.stopped.load(); }));
        EXPECT_EQ(std::make_pair(receiver.GetPort(), user.closed.load()), std::make_pair(uint16_t{0}, 1));
        receiver.Stop();
        EXPECT_EQ(user.packets, onPacket ? 1u : 0u);
        EXPECT_TRUE(WaitUntil([&] { return receiver.StartUnicast(0, 0); }));
        EXPECT_FALSE(driver.HasLineContaining("was not stopped"));
    }
}

uint32_t ReadU32(const Bytes& bytes, size_t offset)
{
    return (uint32_t(bytes[offset]) << 24) | (uint32_t(bytes[offset + 1]) << 16) |
           (uint32_t(bytes[offset + 2]) << 8) | bytes[offset + 3];
}

// The words in network byte order.
Bytes Words(std::initializer_list<uint32_t> words)
{
    Bytes bytes;
    for (uint32_t word : words)
        bytes.insert(bytes.end(), {uint8_t(word >> 24), uint8_t(word >> 16), uint8_t(word >> 8), uint8_t(word)});
    return bytes;
}

// A sender report: SSRC, NTP time (its middle 32 bits the reference), RTP time stamp, packet and octet counts.
Bytes MakeSenderReport(uint32_t ssrc, uint32_t ntpMiddle)
{
    return Join({{0x80, 200, 0, 6},
                 Words({ssrc, 0xAAAA0000u | (ntpMiddle >> 16), (ntpMiddle << 16) | 0xBBBBu, 1234u, 10u, 1000u})});
}

const Bytes kBye = {0x81, 203, 0, 1, 9, 9, 9, 9};

// Reports from other addresses and malformed compounds are ignored: had any been taken, the receiver report would
// go to its sender. A BYE counts once after a sender report; stopping says BYE to the last camera that reported.
TEST(RtcpHandler, AnswersTheCameraReportsItsByeOnceSaysByeOnStopAndJoinsAGroup)
{
    FakeDriver driver;
    RecordingStreamUser user;
    CRTCPHandler handler(&driver);
    handler.SetUser(&user);
    ASSERT_TRUE(handler.StartUnicast(kLoopback, 0));
    const uint16_t port = handler.GetPort();
    ASSERT_NE(port, 0);
    for (const uint16_t sequence : {65534, 65535, 0, 3})
        handler.TrackSequence(sequence);
    UdpTestPeer camera;
    ASSERT_TRUE(camera.Send(port, kBye));  // before any sender report: not reported
    ASSERT_TRUE(camera.Send(port, MakeSenderReport(0xCAFEF00D, 0x12345678)));

    Bytes report;
    platform::IPv4Endpoint from;
    ASSERT_TRUE(camera.Receive(report, 5000, &from));
    ASSERT_EQ(report.size(), 32u);
    EXPECT_EQ(from.port, port);
    // Our SSRC; the sender's, no loss, the extended highest sequence number, no jitter, the report's reference.
    const Bytes ssrc(handler.GetSsrc().begin(), handler.GetSsrc().end());
    EXPECT_EQ(Bytes(report.begin(), report.end() - 4),
              Join({{0x81, 201, 0, 7}, ssrc, Words({0xCAFEF00D, 0, 65536 + 3, 0, 0x12345678})}));
    EXPECT_LT(ReadU32(report, 28), 5u * 65536);  // answered within the receive wait
    EXPECT_EQ(user.byes, 0);

    // Each sender report is answered.
    ASSERT_TRUE(camera.Send(port, MakeSenderReport(0xCAFEF00D, 0x9ABCDEF0)) && camera.Receive(report, 5000));
    EXPECT_EQ(ReadU32(report, 24), 0x9ABCDEF0u);

    UdpTestPeer stranger("127.0.0.2");
    ASSERT_TRUE(stranger.Send(port, MakeSenderReport(1, 1)));
    UdpTestPeer malformed;
    // A report announcing more than the datagram holds, a sender report without sender information.
    ASSERT_TRUE(malformed.Send(port, Join({{0x80, 201, 0, 50, 0, 0, 0, 0}, MakeSenderReport(2, 2)})));
    ASSERT_TRUE(malformed.Send(port, {0x80, 200, 0, 1, 0, 0, 0, 2}) && malformed.Send(port, {0x80, 200, 0}));
    Bytes truncated = MakeSenderReport(2, 2);
    truncated.pop_back();
    ASSERT_TRUE(malformed.Send(port, truncated));
    // Compound packets: a leading receiver report, trailing bytes.
    ASSERT_TRUE(camera.Send(port, Join({{0x81, 201, 0, 1, 0, 0, 0, 4}, MakeSenderReport(3, 0x33), {0x81, 202}})));
    ASSERT_TRUE(camera.Receive(report, 5000));
    ASSERT_EQ(report.size(), 32u);
    EXPECT_EQ(std::make_pair(ReadU32(report, 8), ReadU32(report, 24)), std::make_pair(3u, 0x33u));
    EXPECT_FALSE(stranger.Receive(report, 0) || malformed.Receive(report, 0));

    ASSERT_TRUE(camera.Send(port, Join({MakeSenderReport(7, 8), kBye, kBye})) && camera.Send(port, kBye));
    ASSERT_TRUE(WaitUntil([&] { return user.byes == 1; }));
    // A later sender report proves the BYEs before it were handled.
    UdpTestPeer next;
    ASSERT_TRUE(next.Send(port, MakeSenderReport(7, 9)) && next.Receive(report, 5000));
    EXPECT_EQ(user.byes, 1);

    handler.Stop();
    EXPECT_EQ(handler.GetPort(), 0);
    Bytes bye;
    ASSERT_TRUE(next.Receive(bye, 5000));
    EXPECT_EQ(bye, Join({{0x81, 203, 0, 1}, ssrc}));
    EXPECT_FALSE(driver.HasLineContaining("was not stopped"));
    // Restarted without a sender report: stopping sends nothing.
    ASSERT_TRUE(handler.StartUnicast(kLoopback, port));
    EXPECT_FALSE(handler.StartUnicast(kLoopback, 0));
    handler.Stop();
    EXPECT_FALSE(next.Receive(bye, 0));

    // The arguments are checked; sender reports sent to a multicast group are answered.
    EXPECT_FALSE(handler.StartUnicast(0, 0));
    EXPECT_FALSE(handler.StartMulticast(kLoopback, "nonsense", 0));
    EXPECT_NE(handler.GetSsrc(), CRTCPHandler().GetSsrc());
    const uint16_t groupPort = FreePort();
    ASSERT_TRUE(handler.StartMulticast(kLoopback, "239.255.42.3", groupPort));
    ASSERT_TRUE(camera.Send(groupPort, MakeSenderReport(11, 11), platform::ParseIPv4("239.255.42.3")));
    // A receiver report of the earlier session may still be on its way to the camera.
    bool answered = false;
    while (!answered && camera.Receive(report, 5000))
        answered = ReadU32(report, 8) == 11u;
    EXPECT_TRUE(answered) << "a receiver report for the sender in the group";
}

// The counts of a receiver report after each sequence number, the steps read from tests/data.
TEST(RtcpSequence, ProbationWrapAroundAndJumps)
{
    const std::map<std::string, std::string> scenarios = ReadTestDataTexts("streaming/sequence-steps.txt");
    EXPECT_EQ(scenarios.size(), 4u);
    for (const auto& [name, steps] : scenarios) {
        SCOPED_TRACE(name);
        CRTPSequenceTracker tracker;
        std::istringstream in(steps);
        uint32_t sequence, probation, received, highest;
        char end;
        while (in >> sequence >> probation >> received >> highest >> end) {
            tracker.Update(static_cast<uint16_t>(sequence));
            EXPECT_EQ(std::make_tuple(tracker.InProbation(), tracker.Received(), tracker.ExtendedHighest()),
                      std::make_tuple(probation == 1, received, highest))
                << sequence;
        }
        EXPECT_TRUE(in.eof());
    }
}

}  // namespace
}  // namespace korvane::test
