// The simulator's H.264 frames padded to a chosen size with filler data.
#include <gtest/gtest.h>

#include <algorithm>

#include "camsim/media/MediaSource.h"
#include "streaming/H264RTPMediaParser.h"
#include "streaming/ParserTestSupport.h"

namespace korvane::test {
namespace {

// The frames the H.264 parser assembles from `frames` access units of the sample.
std::vector<DeliveredFrame> ParsedFrames(size_t minimumBytes, size_t frames)
{
    camsim::MediaSourceOptions options;
    options.h264MinimumFrameBytes = minimumBytes;
    auto source = camsim::OpenMediaSource(camsim::MediaCodec::H264, options);
    EXPECT_NE(source, nullptr);
    ParserRig<CH264RTPMediaParser> rig;
    rig.feeder->FeedFrames(*source, frames);
    return rig.host.Frames();
}

TEST(H264Padding, FramesReachTheSizeWithAFillerNalAtTheEnd)
{
    const size_t frames = 30;
    const std::vector<DeliveredFrame> plain = ParsedFrames(0, frames);
    const std::vector<DeliveredFrame> padded = ParsedFrames(20000, frames);
    ASSERT_EQ(plain.size(), frames);
    ASSERT_EQ(padded.size(), frames);
    for (size_t i = 0; i < frames; ++i) {
        ASSERT_LT(plain[i].bytes.size(), 20000u);
        // The access unit as sent is 20000 bytes; the parser adds its 5-byte trailer
        // (and drops the SEI of the first frame).
        if (i > 0) {
            EXPECT_EQ(padded[i].bytes.size(), 20000u + 5) << "frame " << i;
        }
        // The picture comes first and unchanged; the filler NAL unit (type 12) follows.
        const std::vector<uint8_t>& bytes = padded[i].bytes;
        const size_t pictureLength = plain[i].bytes.size() - 5;
        EXPECT_TRUE(std::equal(plain[i].bytes.begin(), plain[i].bytes.begin() + pictureLength, bytes.begin()));
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + pictureLength, bytes.begin() + pictureLength + 4),
                  (std::vector<uint8_t>{0, 0, 1, 12}));
        EXPECT_EQ(bytes[bytes.size() - 6], 0x80);  // trailing bits before the parser's trailer
        EXPECT_EQ(padded[i].fourCC, plain[i].fourCC);
    }
}

}  // namespace
}  // namespace korvane::test
