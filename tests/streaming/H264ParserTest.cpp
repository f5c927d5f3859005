#include <gtest/gtest.h>

#include "streaming/ParserTestSupport.h"
#include "streaming/SdpInfo.h"

namespace korvane::test {
namespace {

using camsim::H264Packetisation;
using camsim::MediaCodec;
using camsim::MediaSourceOptions;
using Rig = ParserRig<CH264RTPMediaParser>;

const std::vector<uint8_t> kTrailer = {0, 0, 0, 1, 9};
const std::vector<uint8_t> kStartCode = {0, 0, 1};
constexpr size_t kSampleFrames = 50;
constexpr size_t kGopLength = 25;

// The sample's parameter sets, as sent in single NAL unit packets.
SdpInfo SampleParameterSets()
{
    MediaSourceOptions options;
    options.h264Mode = H264Packetisation::SingleNal;
    const std::vector<camsim::RtpPayload> payloads = FirstFramePayloads(MediaCodec::H264, options);
    SdpInfo sdp;
    sdp.sequenceParameterSet = payloads.at(0).bytes;
    sdp.pictureParameterSet = payloads.at(1).bytes;
    return sdp;
}

// The NAL units in Annex B form, each after a start code.
std::vector<uint8_t> AnnexB(std::initializer_list<const std::vector<uint8_t>*> nals)
{
    std::vector<uint8_t> bytes;
    for (const std::vector<uint8_t>* nal : nals) {
        bytes.insert(bytes.end(), kStartCode.begin(), kStartCode.end());
        bytes.insert(bytes.end(), nal->begin(), nal->end());
    }
    return bytes;
}

TEST(H264Parser, KeyFrameFromFragmentsGetsTheDescriptionsParameterSetsInFront)
{
    const SdpInfo sdp = SampleParameterSets();
    MediaSourceOptions options;
    options.h264ParameterSetsInBand = false;
    Rig rig;
    rig.parser->SetParameterSets(sdp);
    rig.feeder->FeedFrames(*OpenSource(MediaCodec::H264, options), kSampleFrames);

    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    ASSERT_EQ(frames.size(), kSampleFrames);
    const std::vector<uint8_t> expectedStart = AnnexB({&sdp.sequenceParameterSet, &sdp.pictureParameterSet});
    EXPECT_TRUE(StartsWith(frames[0].bytes, expectedStart));
    EXPECT_TRUE(StartsWith(frames[kGopLength].bytes, expectedStart));
    size_t keyFrames = 0;
    for (const DeliveredFrame& frame : frames)
        keyFrames += frame.fourCC == CH264RTPMediaParser::kFourCCKeyFrame ? 1 : 0;
    EXPECT_EQ(keyFrames, 2u);
}

TEST(H264Parser, WithoutReadableParameterSetsNothingIsDelivered)
{
    MediaSourceOptions options;
    options.h264ParameterSetsInBand = false;
    Rig rig;
    rig.feeder->FeedFrames(*OpenSource(MediaCodec::H264, options), kSampleFrames);
    EXPECT_EQ(rig.host.FrameCount(), 0u);
    EXPECT_EQ(rig.host.Allocations(), 0u);

    // A description whose SPS cannot be read is ignored.
    SdpInfo sdp;
    sdp.sequenceParameterSet = {0x67, 0x42};
    sdp.pictureParameterSet = {0x68, 0xCE};
    Rig described;
    described.parser->SetParameterSets(sdp);
    described.feeder->Feed({0x65, 0x88, 0x80}, true, 0);
    EXPECT_EQ(described.host.FrameCount(), 0u);
}

TEST(H264Parser, ParameterSetsInSingleNalPacketsReplaceTheStoredOnesAndStayOutOfFrames)
{
    const SdpInfo sdp = SampleParameterSets();
    Rig rig;
    const std::vector<uint8_t> idr = {0x65, 0x88, 0x84, 0x00, 0x33};
    rig.feeder->Feed(sdp.sequenceParameterSet, false, 1000);
    rig.feeder->Feed(sdp.pictureParameterSet, false, 1000);
    rig.feeder->Feed({0x06, 0x05, 0x01, 0x02}, false, 1000);  // SEI
    rig.feeder->Feed({0x09, 0xF0}, false, 1000);              // access unit delimiter
    rig.feeder->Feed(idr, true, 1000);

    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    ASSERT_EQ(frames.size(), 1u);
    std::vector<uint8_t> expected = AnnexB({&sdp.sequenceParameterSet, &sdp.pictureParameterSet, &idr});
    expected.insert(expected.end(), kTrailer.begin(), kTrailer.end());
    EXPECT_EQ(frames[0].bytes, expected);
    EXPECT_EQ(rig.host.LastAllocationSize(), frames[0].bytes.size());
}

TEST(H264Parser, HostFaults)
{
    // A refused frame makes the parser wait for a key frame.
    Rig refusing;
    auto source = OpenSource(MediaCodec::H264);
    refusing.feeder->FeedFrames(*source, 2);
    refusing.host.SetAcceptFrames(false);
    refusing.feeder->FeedFrames(*source, 1);
    refusing.host.SetAcceptFrames(true);
    refusing.feeder->FeedFrames(*source, kSampleFrames - 3);
    EXPECT_EQ(refusing.host.FrameCount(), 2 + (kSampleFrames - kGopLength));
    EXPECT_TRUE(refusing.AllFramesReleased());

    // A frame without a buffer is reported and released.
    Rig withoutBuffer;
    withoutBuffer.host.SetFramesWithoutBuffer(true);
    withoutBuffer.feeder->FeedFrames(*OpenSource(MediaCodec::H264), 3);
    EXPECT_EQ(withoutBuffer.host.FrameCount(), 0u);
    EXPECT_TRUE(withoutBuffer.driver.HasLineContaining(
        "korvane::CH264RTPMediaParser::ProcessFrame: Data copying error, device 127.0.0.1:80"));
    EXPECT_GT(withoutBuffer.host.Allocations(), 0u);
    EXPECT_TRUE(withoutBuffer.AllFramesReleased());

    // No allocator or a refused allocation delivers nothing.
    Rig unallocated;
    unallocated.host.SetRefuseAllocations(true);
    source = OpenSource(MediaCodec::H264);
    unallocated.feeder->FeedFrames(*source, 3);
    unallocated.driver.allocator = nullptr;
    unallocated.feeder->FeedFrames(*source, 3);
    EXPECT_EQ(unallocated.host.FrameCount(), 0u);
}

TEST(H264Parser, ReadsInterlacedHeightAndCropping)
{
    // Baseline SPS of a 1920-wide interlaced picture of 34 map units (field pairs), then the same cropped by 4 pairs.
    const struct {
        std::vector<uint8_t> sps;
        uint32_t height;
    } cases[] = {
        {{0, 0, 1, 0x67, 0x42, 0x00, 0x28, 0xDA, 0x01, 0xE0, 0x11, 0x14}, 1088},
        {{0, 0, 1, 0x67, 0x42, 0x00, 0x28, 0xDA, 0x01, 0xE0, 0x11, 0x1F, 0x2C}, 1080},
    };
    for (const auto& c : cases) {
        uint32_t width = 0;
        uint32_t height = 0;
        ASSERT_TRUE(ReadPictureSizeFromSps(c.sps.data(), c.sps.size(), width, height));
        EXPECT_EQ(width, 1920u);
        EXPECT_EQ(height, c.height);
    }
}

}  // namespace
}  // namespace korvane::test
