#include <gtest/gtest.h>

#include "streaming/RTSPStreamParser.h"
#include "StreamTestSupport.h"

using namespace korvane;

namespace {

using test::RecordingStreamUser;

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
    std::vector<uint8_t> packet(size, 0x11);
    packet[0] = 0x80;
    packet[1] = 96;
    packet[2] = static_cast<uint8_t>(sequence >> 8);
    packet[3] = static_cast<uint8_t>(sequence);
    frame.insert(frame.end(), packet.begin(), packet.end());
    return frame;
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes)
{
    to.insert(to.end(), bytes.begin(), bytes.end());
}

}  // namespace

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
