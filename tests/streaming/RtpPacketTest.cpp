// RTP packets, alone and framed in the RTSP stream.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "streaming/RTPPacket.h"
#include "streaming/RTSPStreamParser.h"
#include "StreamTestSupport.h"

namespace korvane::test {
namespace {

using Bytes = std::vector<uint8_t>;

bool Parse(CRTPPacket& packet, const Bytes& bytes)
{
    return packet.Parse(bytes.data(), bytes.size());
}

TEST(RtpPacket, ReadsTheFixedHeaderAndNeedsMoreThanItAndVersionTwo)
{
    Bytes bytes = MakeRtp(0xABCD, 0x01020304, {1, 2, 3}, true);
    bytes[1] = 0x80 | 26;
    CRTPPacket packet;
    ASSERT_TRUE(Parse(packet, bytes));
    EXPECT_EQ(packet.m_marker, 1);
    EXPECT_EQ(packet.m_payloadType, 26);
    EXPECT_EQ(packet.m_padding, 0);
    EXPECT_EQ(packet.m_sequenceNumber, 0xABCD);
    EXPECT_EQ(packet.m_timeStamp, 0x01020304u);
    uint32_t ssrc;
    std::memcpy(&ssrc, &bytes[8], sizeof ssrc);
    EXPECT_EQ(packet.m_ssrc, ssrc);  // kept as received
    EXPECT_EQ(packet.m_csrcCount, 0);
    EXPECT_EQ(Bytes(packet.Payload(), packet.Payload() + packet.PayloadLength()), (Bytes{1, 2, 3}));

    // More than the fixed header is needed, and version two.
    Bytes twelve = MakeRtp(1, 1, {});
    EXPECT_FALSE(Parse(packet, twelve));

    Bytes thirteen = MakeRtp(1, 1, {0x55});
    ASSERT_TRUE(Parse(packet, thirteen));
    EXPECT_EQ(packet.m_payload, Bytes{0x55});

    for (uint8_t version : {0x00, 0x40, 0xC0}) {
        Bytes other = thirteen;
        other[0] = version;
        EXPECT_FALSE(Parse(packet, other)) << int(version);
    }
    EXPECT_FALSE(packet.Parse(nullptr, 20));
}

TEST(RtpPacket, CopiesTheCsrcListAndTheExtensionOnlyWhenWhole)
{
    CRTPPacket packet;
    Bytes bytes = MakeRtp(1, 1, {});
    bytes[0] = 0x82;
    const Bytes csrcs = {1, 1, 1, 1, 2, 2, 2, 2};
    bytes.insert(bytes.end(), csrcs.begin(), csrcs.end());
    EXPECT_FALSE(Parse(packet, bytes));  // the list ends the datagram: no payload

    bytes.push_back(9);
    ASSERT_TRUE(Parse(packet, bytes));
    EXPECT_EQ(packet.m_csrcCount, 2);
    EXPECT_EQ(packet.m_csrcList, csrcs);
    EXPECT_EQ(packet.m_payload, Bytes{9});

    bytes[0] = 0x8F;  // 15 sources announced, 2 present
    EXPECT_FALSE(Parse(packet, bytes));

    // The extension is copied; one that runs past the end is rejected.
    bytes = MakeRtp(1, 1, {});
    bytes[0] = 0x90;
    const Bytes extension = {0xBE, 0xDE, 0x00, 0x01, 7, 7, 7, 7};
    bytes.insert(bytes.end(), extension.begin(), extension.end());
    bytes.push_back(0x42);
    ASSERT_TRUE(Parse(packet, bytes));
    EXPECT_EQ(packet.m_extensionProfile, 0xBEDE);
    EXPECT_EQ(packet.m_extensionLength, 1);
    EXPECT_EQ(packet.m_extension, (Bytes{7, 7, 7, 7}));
    EXPECT_EQ(packet.m_payload, Bytes{0x42});

    Bytes tooLong = bytes;
    tooLong[15] = 2;  // two words announced, one and a byte present
    EXPECT_FALSE(Parse(packet, tooLong));

    Bytes noHeader = MakeRtp(1, 1, {0xBE, 0xDE, 0});
    noHeader[0] = 0x90;  // fewer than 4 bytes after the fixed header
    EXPECT_FALSE(Parse(packet, noHeader));
}

TEST(RtpPacket, RemovesPaddingAndRejectsPaddingLargerThanThePayload)
{
    CRTPPacket packet;
    Bytes bytes = MakeRtp(1, 1, {5, 6, 0, 2});
    bytes[0] = 0xA0;
    ASSERT_TRUE(Parse(packet, bytes));
    EXPECT_EQ(packet.m_padding, 1);
    EXPECT_EQ(packet.m_payload, (Bytes{5, 6}));

    bytes.back() = 4;  // padding is the whole payload
    ASSERT_TRUE(Parse(packet, bytes));
    EXPECT_TRUE(packet.m_payload.empty());

    bytes.back() = 5;
    EXPECT_FALSE(Parse(packet, bytes));
    bytes.back() = 0xFF;
    EXPECT_FALSE(Parse(packet, bytes));
}

TEST(RtpPacket, ParsingReleasesWhatThePreviousPacketHeld)
{
    CRTPPacket packet;
    Bytes withCsrc = MakeRtp(1, 1, {});
    withCsrc[0] = 0x81;
    withCsrc.insert(withCsrc.end(), {1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(Parse(packet, withCsrc));

    ASSERT_TRUE(Parse(packet, MakeRtp(2, 2, {8})));
    EXPECT_EQ(packet.m_csrcCount, 0);
    EXPECT_TRUE(packet.m_csrcList.empty());
    EXPECT_EQ(packet.m_payload, Bytes{8});

    EXPECT_FALSE(Parse(packet, MakeRtp(3, 3, {})));
    EXPECT_TRUE(packet.m_payload.empty());
    EXPECT_EQ(packet.m_sequenceNumber, 0);
}



// The payload sizes of the packets the user received.
std::vector<size_t> PayloadSizes(const RecordingStreamUser& user)
{
    std::vector<size_t> sizes;
    for (const RecordingStreamUser::Received& received : user.All())
        sizes.push_back(received.payload.size());
    return sizes;
}

// An RTP packet of `size` bytes (12-byte header) framed on channel 0.
std::vector<uint8_t> Frame(uint16_t sequence, size_t size, uint8_t channel = 0)
{
    std::vector<uint8_t> frame{'$', channel, static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
    const Bytes packet = MakeRtp(sequence, 0x11111111, Bytes(size - 12, 0x11));
    frame.insert(frame.end(), packet.begin(), packet.end());
    return frame;
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes)
{
    to.insert(to.end(), bytes.begin(), bytes.end());
}

TEST(RtspStreamParser, SkipsResponseTextAndDoubledDollarsAndFindsFrames)
{
    RecordingStreamUser user;
    CRTSPStreamParser parser(&user);
    const std::string text = "RTSP/1.0 200 OK\r\nCSeq: 4\r\nSession: 1\r\n\r\n";
    std::vector<uint8_t> stream(text.begin(), text.end());
    Append(stream, Frame(1, 20));
    Append(stream, Frame(2, 1400));
    parser.Process(stream.data(), stream.size());
    EXPECT_EQ(user.Sequences(), (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(PayloadSizes(user), (std::vector<size_t>{8, 1388}));

    // A doubled dollar starts the frame at the second.
    stream = {'$'};
    Append(stream, Frame(9, 16));
    parser.Process(stream.data(), stream.size());
    EXPECT_EQ(PayloadSizes(user), (std::vector<size_t>{8, 1388, 4}));
}

TEST(RtspStreamParser, ZeroLengthAndOtherChannelsAreSkipped)
{
    RecordingStreamUser user;
    CRTSPStreamParser parser(&user);
    std::vector<uint8_t> stream{'$', 0, 0, 0};
    Append(stream, Frame(7, 16));
    // A channel 1 frame (RTCP) whose body holds no sync pattern.
    Append(stream, std::vector<uint8_t>{'$', 1, 0, 8, 0x80, 200, 0, 1, 1, 2, 3, 4});
    Append(stream, Frame(8, 16));
    parser.Process(stream.data(), stream.size());
    EXPECT_EQ(user.Sequences(), (std::vector<uint16_t>{7, 8}));
}

TEST(RtspStreamParser, GarbageAndBadPacketsDoNotStopParsing)
{
    RecordingStreamUser user;
    user.throwFromUser = true;
    CRTSPStreamParser parser(&user);
    std::vector<uint8_t> stream;
    for (int i = 0; i < 5000; ++i)
        stream.push_back(static_cast<uint8_t>((i * 37) % 251 + 1));  // no NUL: never a frame
    // A framed payload that is no RTP packet (version 0) is dropped.
    Append(stream, std::vector<uint8_t>{'$', 0, 0, 13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    Append(stream, Frame(1, 13));
    Append(stream, Frame(2, 13));
    parser.Process(stream.data(), stream.size());
    EXPECT_EQ(user.Sequences(), (std::vector<uint16_t>{1, 2}));
}

TEST(RtspStreamParser, FramesSplitAcrossCalls)
{
    RecordingStreamUser user;
    CRTSPStreamParser parser(&user);
    std::vector<uint8_t> stream = Frame(1, 500);
    Append(stream, Frame(2, 40));
    Append(stream, Frame(3, 1400));
    // The first frame ends inside the second buffer, which holds the next frame whole.
    parser.Process(stream.data(), 200);
    parser.Process(stream.data() + 200, stream.size() - 200 - 700);
    parser.Process(stream.data() + stream.size() - 700, 700);
    EXPECT_EQ(user.Sequences(), (std::vector<uint16_t>{1, 2, 3}));
    EXPECT_EQ(PayloadSizes(user), (std::vector<size_t>{488, 28, 1388}));

    // Byte by byte.
    stream = Frame(5, 300);
    Append(stream, Frame(6, 13));
    for (uint8_t byte : stream)
        parser.Process(&byte, 1);
    EXPECT_EQ(user.Sequences(), (std::vector<uint16_t>{1, 2, 3, 5, 6}));
}

}  // namespace
}  // namespace korvane::test
