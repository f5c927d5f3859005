// RTP packets, alone and framed in the RTSP stream.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <tuple>
#include <vector>

#include "streaming/RTPPacket.h"
#include "streaming/RTSPStreamParser.h"
#include "StreamTestSupport.h"

namespace korvane::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Marker, type, padding, sequence, time stamp, CSRC count and list, extension profile, length and words, payload.
using Fields = std::tuple<int, int, int, int, uint32_t, int, Bytes, int, int, Bytes, Bytes>;

Fields Of(const CRTPPacket& p)
{
    return {p.m_marker, p.m_payloadType, p.m_padding, p.m_sequenceNumber, p.m_timeStamp, p.m_csrcCount,
            p.m_csrcList, p.m_extensionProfile, p.m_extensionLength, p.m_extension,
            Bytes(p.Payload(), p.Payload() + p.PayloadLength())};
}

// A packet with sequence number and time stamp 1, the given first byte and the bytes after the fixed header.
Bytes Rtp(uint8_t first, const Bytes& rest)
{
    Bytes bytes = MakeRtp(1, 1, rest);
    bytes[0] = first;
    return bytes;
}

// One packet object parses each row in turn: what a packet held never outlives the next parse.
TEST(RtpPacket, ParsesWellFormedVersionTwoPacketsAndRejectsTheRest)
{
    Bytes header = MakeRtp(0xABCD, 0x01020304, {1, 2, 3}, true);
    header[1] = 0x80 | 26;
    const Bytes csrcs = {1, 1, 1, 1, 2, 2, 2, 2};
    const struct {
        const char* name;
        Bytes bytes;
        bool parses;
        Fields fields;  // all empty after a failure
    } rows[] = {
        {"the fixed header", header, true, {1, 26, 0, 0xABCD, 0x01020304, 0, {}, 0, 0, {}, {1, 2, 3}}},
        {"the fixed header alone", MakeRtp(1, 1, {}), false, {}},
        {"one payload byte", MakeRtp(1, 1, {0x55}), true, {0, 96, 0, 1, 1, 0, {}, 0, 0, {}, {0x55}}},
        {"version 0", Rtp(0x00, {0x55}), false, {}},
        {"version 1", Rtp(0x40, {0x55}), false, {}},
        {"version 3", Rtp(0xC0, {0x55}), false, {}},
        {"the CSRC list ends the datagram", Rtp(0x82, csrcs), false, {}},
        {"two CSRCs", Rtp(0x82, {1, 1, 1, 1, 2, 2, 2, 2, 9}), true, {0, 96, 0, 1, 1, 2, csrcs, 0, 0, {}, {9}}},
        {"CSRCs released", MakeRtp(2, 2, {8}), true, {0, 96, 0, 2, 2, 0, {}, 0, 0, {}, {8}}},
        {"15 sources announced, 2 present", Rtp(0x8F, {1, 1, 1, 1, 2, 2, 2, 2, 9}), false, {}},
        {"extension", Rtp(0x90, {0xBE, 0xDE, 0, 1, 7, 7, 7, 7, 0x42}), true,
         {0, 96, 0, 1, 1, 0, {}, 0xBEDE, 1, {7, 7, 7, 7}, {0x42}}},
        {"extension past the end", Rtp(0x90, {0xBE, 0xDE, 0, 2, 7, 7, 7, 7, 0x42}), false, {}},
        {"no room for the extension header", Rtp(0x90, {0xBE, 0xDE, 0}), false, {}},
        {"padding", Rtp(0xA0, {5, 6, 0, 2}), true, {0, 96, 1, 1, 1, 0, {}, 0, 0, {}, {5, 6}}},
        {"padding is the whole payload", Rtp(0xA0, {5, 6, 0, 4}), true, {0, 96, 1, 1, 1, 0, {}, 0, 0, {}, {}}},
        {"padding longer than the payload", Rtp(0xA0, {5, 6, 0, 5}), false, {}},
        {"padding of 255", Rtp(0xA0, {5, 6, 0, 0xFF}), false, {}},
    };
    CRTPPacket packet;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(packet.Parse(row.bytes.data(), row.bytes.size()), row.parses);
        EXPECT_EQ(Of(packet), row.fields);
    }
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
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingStreamUser user;
        user.throwFromUser = row.throwingUser;
        CRTSPStreamParser parser(&user);
        size_t at = 0;
        for (size_t cut : row.cuts) {
            parser.Process(row.stream.data() + at, cut - at);
            at = cut;
        }
        parser.Process(row.stream.data() + at, row.stream.size() - at);
        std::vector<size_t> sizes;
        for (const Bytes& payload : user.Payloads())
            sizes.push_back(payload.size());
        EXPECT_EQ(user.Sequences(), row.sequences);
        EXPECT_EQ(sizes, row.payloadSizes);
    }
}

}  // namespace
}  // namespace korvane::test
