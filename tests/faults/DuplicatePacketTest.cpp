// A network that delivers packets twice must not cost frames: each payload
// parser drops the copy of the packet it has just handled.
#include <gtest/gtest.h>

#include "streaming/H264RTPMediaParser.h"
#include "streaming/JpegRTPMediaParser.h"
#include "streaming/Mpeg4RTPMediaParser.h"
#include "streaming/ParserTestSupport.h"

namespace korvane::test {
namespace {

using camsim::MediaCodec;

constexpr size_t kFrames = 20;

// Feeds `frames` access units of the codec's sample, every packet twice, and
// returns what reached the host.
template <typename Parser, typename... Args>
std::vector<DeliveredFrame> FeedTwice(MediaCodec codec, size_t frames, Args&&... args)
{
    ParserRig<Parser> rig("127.0.0.1:80::RecStream", std::forward<Args>(args)...);
    auto source = OpenSource(codec);
    EXPECT_NE(source, nullptr);
    if (!source)
        return {};
    std::vector<camsim::RtpPayload> payloads;
    uint32_t step = 0;
    uint16_t sequence = 65530;  // across the wrap
    uint32_t timeStamp = 90000;
    for (size_t frame = 0; frame < frames; ++frame) {
        source->NextFrame(payloads, step);
        for (const camsim::RtpPayload& payload : payloads) {
            CRTPPacket packet;
            packet.m_sequenceNumber = sequence++;
            packet.m_timeStamp = timeStamp;
            packet.m_marker = payload.marker ? 1 : 0;
            packet.m_payloadType = 96;
            packet.m_payload = payload.bytes;
            rig.parser->ProcessPacket(packet);
            rig.parser->ProcessPacket(packet);
        }
        timeStamp += step;
    }
    EXPECT_TRUE(rig.AllFramesReleased());
    return rig.host.Frames();
}

// The same stream fed once per packet.
template <typename Parser, typename... Args>
std::vector<DeliveredFrame> FeedOnce(MediaCodec codec, size_t frames, Args&&... args)
{
    ParserRig<Parser> rig("127.0.0.1:80::RecStream", std::forward<Args>(args)...);
    auto source = OpenSource(codec);
    EXPECT_NE(source, nullptr);
    if (source)
        rig.feeder->FeedFrames(*source, frames);
    return rig.host.Frames();
}

void ExpectSameBytes(const std::vector<DeliveredFrame>& twice, const std::vector<DeliveredFrame>& once)
{
    ASSERT_EQ(twice.size(), once.size());
    for (size_t i = 0; i < twice.size(); ++i)
        EXPECT_EQ(twice[i].bytes, once[i].bytes) << "frame " << i;
}

TEST(DuplicatePackets, H264FramesSurviveEveryPacketArrivingTwice)
{
    const auto twice = FeedTwice<CH264RTPMediaParser>(MediaCodec::H264, kFrames);
    EXPECT_EQ(twice.size(), kFrames);
    ExpectSameBytes(twice, FeedOnce<CH264RTPMediaParser>(MediaCodec::H264, kFrames));
}

TEST(DuplicatePackets, JpegFramesSurviveEveryPacketArrivingTwice)
{
    const auto twice = FeedTwice<CJpegRTPMediaParser>(MediaCodec::Jpeg, kFrames);
    EXPECT_EQ(twice.size(), kFrames);
    ExpectSameBytes(twice, FeedOnce<CJpegRTPMediaParser>(MediaCodec::Jpeg, kFrames));
}

TEST(DuplicatePackets, Mpeg4FramesSurviveEveryPacketArrivingTwice)
{
    const std::string noLibrary = "libquarnel-not-installed.so";
    const auto twice = FeedTwice<CMpeg4RTPMediaParser>(MediaCodec::Mpeg4, kFrames, noLibrary);
    EXPECT_FALSE(twice.empty());
    ExpectSameBytes(twice, FeedOnce<CMpeg4RTPMediaParser>(MediaCodec::Mpeg4, kFrames, noLibrary));
}

}  // namespace
}  // namespace korvane::test
