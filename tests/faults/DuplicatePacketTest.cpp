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

// Feeds kFrames access units of the codec's sample, every packet `copies` times,
// and returns what reached the host.
template <typename Parser, typename... Args>
std::vector<DeliveredFrame> Feed(MediaCodec codec, int copies, Args... args)
{
    ParserRig<Parser> rig("127.0.0.1:80::RecStream", args...);
    auto source = camsim::OpenMediaSource(codec);
    EXPECT_NE(source, nullptr);
    std::vector<camsim::RtpPayload> payloads;
    uint32_t step = 0;
    CRTPPacket packet;
    packet.m_sequenceNumber = 65530;  // across the wrap
    packet.m_timeStamp = 90000;
    packet.m_payloadType = 96;
    for (size_t frame = 0; source && frame < kFrames; ++frame, packet.m_timeStamp += step) {
        source->NextFrame(payloads, step);
        for (const camsim::RtpPayload& payload : payloads) {
            packet.m_marker = payload.marker ? 1 : 0;
            packet.m_payload = payload.bytes;
            for (int copy = 0; copy < copies; ++copy)
                rig.parser->ProcessPacket(packet);
            ++packet.m_sequenceNumber;
        }
    }
    EXPECT_TRUE(rig.AllFramesReleased());
    return rig.host.Frames();
}

// Every packet arriving twice gives the same frames as every packet arriving once.
template <typename Parser, typename... Args>
void ExpectCopiesDropped(const char* name, MediaCodec codec, bool everyFrame, Args... args)
{
    SCOPED_TRACE(name);
    const auto twice = Feed<Parser>(codec, 2, args...);
    const auto once = Feed<Parser>(codec, 1, args...);
    EXPECT_FALSE(twice.empty());
    if (everyFrame) {
        EXPECT_EQ(twice.size(), kFrames);
    }
    ASSERT_EQ(twice.size(), once.size());
    for (size_t i = 0; i < twice.size(); ++i)
        EXPECT_EQ(twice[i].bytes, once[i].bytes) << "frame " << i;
}

TEST(DuplicatePackets, FramesSurviveEveryPacketArrivingTwice)
{
    ExpectCopiesDropped<CH264RTPMediaParser>("H.264", MediaCodec::H264, true);
    ExpectCopiesDropped<CJpegRTPMediaParser>("Motion JPEG", MediaCodec::Jpeg, true);
    const std::string noLibrary = "libquarnel-not-installed.so";
    ExpectCopiesDropped<CMpeg4RTPMediaParser>("MPEG-4", MediaCodec::Mpeg4, false, noLibrary);
}

}  // namespace
}  // namespace korvane::test
