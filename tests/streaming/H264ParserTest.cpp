#include <gtest/gtest.h>

#include "streaming/H264RTPMediaParser.h"
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
void SampleParameterSets(std::vector<uint8_t>& sps, std::vector<uint8_t>& pps)
{
    MediaSourceOptions options;
    options.h264Mode = H264Packetisation::SingleNal;
    auto source = OpenSource(MediaCodec::H264, options);
    std::vector<camsim::RtpPayload> payloads;
    uint32_t step;
    source->NextFrame(payloads, step);
    sps = payloads.at(0).bytes;
    pps = payloads.at(1).bytes;
}

size_t CountKeyFrames(const std::vector<DeliveredFrame>& frames)
{
    size_t keyFrames = 0;
    for (const DeliveredFrame& frame : frames)
        keyFrames += frame.fourCC == CH264RTPMediaParser::kFourCCKeyFrame ? 1 : 0;
    return keyFrames;
}

TEST(H264Parser, ReassemblesEveryAccessUnitOfTheSampleInEachPacketisation)
{
    for (const H264Packetisation mode : {H264Packetisation::NonInterleaved, H264Packetisation::SingleNal}) {
        SCOPED_TRACE(mode == H264Packetisation::SingleNal ? "single NAL" : "STAP-A and FU-A");
        MediaSourceOptions options;
        options.h264Mode = mode;
        options.maxPayloadSize = 900;
        Rig rig;
        auto source = OpenSource(MediaCodec::H264, options);
        rig.feeder->FeedFrames(*source, kSampleFrames);

        const std::vector<DeliveredFrame> frames = rig.host.Frames();
        ASSERT_EQ(frames.size(), kSampleFrames);
        EXPECT_EQ(CountKeyFrames(frames), kSampleFrames / kGopLength);
        for (const DeliveredFrame& frame : frames) {
            EXPECT_TRUE(EndsWith(frame.bytes, kTrailer));
            EXPECT_EQ(frame.width, 640u);
            EXPECT_EQ(frame.height, 480u);
            EXPECT_EQ(frame.sizeClass, 4u);
            EXPECT_EQ(frame.streamName, "127.0.0.1:80::RecStream");
        }
        EXPECT_EQ(frames[0].fourCC, CH264RTPMediaParser::kFourCCKeyFrame);
        EXPECT_EQ(frames[1].fourCC, CH264RTPMediaParser::kFourCCOtherFrame);
        EXPECT_EQ(frames[1].time.wMilliseconds, CTestParserClient::FrameTimeFor(90000 + 3600).wMilliseconds);
        EXPECT_TRUE(StartsWith(frames[0].bytes, {0, 0, 1, 0x67}));
        EXPECT_EQ(rig.driver.streamDefaults.m_recSize.Load().width, 640u);
        EXPECT_EQ(rig.driver.streamDefaults.m_recSize.Load().height, 480u);
        EXPECT_FALSE(rig.driver.streamDefaults.m_liveSize.Load().IsKnown());
        EXPECT_TRUE(rig.AllFramesReleased());
    }
}

TEST(H264Parser, FillsTheHostFrameInTheHostsOrder)
{
    Rig rig("127.0.0.1:80::LiveStream");
    auto source = OpenSource(MediaCodec::H264);
    rig.feeder->FeedFrames(*source, 1);
    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].calls, (std::vector<std::string>{"SetWidth", "SetHeight", "SetSizeClass", "SetDataSize",
                                                         "SetFourCC", "SetTime"}));
    EXPECT_EQ(rig.host.LastAllocationSize(), frames[0].bytes.size());
    EXPECT_EQ(rig.driver.streamDefaults.m_liveSize.Load().width, 640u);
}

TEST(H264Parser, KeyFrameFromFragmentsGetsTheDescriptionsParameterSetsInFront)
{
    SdpInfo sdp;
    SampleParameterSets(sdp.sequenceParameterSet, sdp.pictureParameterSet);
    MediaSourceOptions options;
    options.h264ParameterSetsInBand = false;
    Rig rig;
    rig.parser->SetParameterSets(sdp);
    auto source = OpenSource(MediaCodec::H264, options);
    rig.feeder->FeedFrames(*source, kSampleFrames);

    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    ASSERT_EQ(frames.size(), kSampleFrames);
    std::vector<uint8_t> expectedStart = kStartCode;
    expectedStart.insert(expectedStart.end(), sdp.sequenceParameterSet.begin(), sdp.sequenceParameterSet.end());
    expectedStart.insert(expectedStart.end(), kStartCode.begin(), kStartCode.end());
    expectedStart.insert(expectedStart.end(), sdp.pictureParameterSet.begin(), sdp.pictureParameterSet.end());
    EXPECT_TRUE(StartsWith(frames[0].bytes, expectedStart));
    EXPECT_TRUE(StartsWith(frames[kGopLength].bytes, expectedStart));
    EXPECT_EQ(CountKeyFrames(frames), 2u);
}

TEST(H264Parser, WithoutAnyParameterSetsNothingIsDelivered)
{
    MediaSourceOptions options;
    options.h264ParameterSetsInBand = false;
    Rig rig;
    auto source = OpenSource(MediaCodec::H264, options);
    rig.feeder->FeedFrames(*source, kSampleFrames);
    EXPECT_EQ(rig.host.FrameCount(), 0u);
    EXPECT_EQ(rig.host.Allocations(), 0u);
}

TEST(H264Parser, ParameterSetsInSingleNalPacketsReplaceTheStoredOnesAndStayOutOfFrames)
{
    std::vector<uint8_t> sps;
    std::vector<uint8_t> pps;
    SampleParameterSets(sps, pps);
    Rig rig;
    const std::vector<uint8_t> idr = {0x65, 0x88, 0x84, 0x00, 0x33};
    rig.feeder->Feed(sps, false, 1000);
    rig.feeder->Feed(pps, false, 1000);
    rig.feeder->Feed({0x06, 0x05, 0x01, 0x02}, false, 1000);  // SEI
    rig.feeder->Feed({0x09, 0xF0}, false, 1000);              // access unit delimiter
    rig.feeder->Feed(idr, true, 1000);

    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    ASSERT_EQ(frames.size(), 1u);
    std::vector<uint8_t> expected = kStartCode;
    for (const std::vector<uint8_t>* nal : std::initializer_list<const std::vector<uint8_t>*>{&sps, &pps, &idr}) {
        if (nal != &sps)
            expected.insert(expected.end(), kStartCode.begin(), kStartCode.end());
        expected.insert(expected.end(), nal->begin(), nal->end());
    }
    expected.insert(expected.end(), kTrailer.begin(), kTrailer.end());
    EXPECT_EQ(frames[0].bytes, expected);
}

TEST(H264Parser, LostPacketDropsFramesUntilTheNextKeyFrame)
{
    Rig rig;
    auto source = OpenSource(MediaCodec::H264);
    rig.feeder->FeedFrames(*source, kSampleFrames, [](size_t frame, size_t packet) { return frame == 3 && packet == 0; });
    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    ASSERT_EQ(frames.size(), 3 + (kSampleFrames - kGopLength));
    EXPECT_EQ(frames[3].fourCC, CH264RTPMediaParser::kFourCCKeyFrame);
    EXPECT_TRUE(rig.AllFramesReleased());
}

TEST(H264Parser, RefusedFrameMakesTheParserWaitForAKeyFrame)
{
    Rig rig;
    auto source = OpenSource(MediaCodec::H264);
    rig.feeder->FeedFrames(*source, 2);
    rig.host.SetAcceptFrames(false);
    rig.feeder->FeedFrames(*source, 1);
    rig.host.SetAcceptFrames(true);
    rig.feeder->FeedFrames(*source, kSampleFrames - 3);
    EXPECT_EQ(rig.host.FrameCount(), 2 + (kSampleFrames - kGopLength));
    EXPECT_TRUE(rig.AllFramesReleased());
}

TEST(H264Parser, FrameWithoutBufferIsReportedAndReleased)
{
    Rig rig;
    rig.host.SetFramesWithoutBuffer(true);
    auto source = OpenSource(MediaCodec::H264);
    rig.feeder->FeedFrames(*source, 3);
    EXPECT_EQ(rig.host.FrameCount(), 0u);
    EXPECT_TRUE(rig.driver.HasLineContaining(
        "korvane::CH264RTPMediaParser::ProcessFrame: Data copying error, device 127.0.0.1:80"));
    EXPECT_GT(rig.host.Allocations(), 0u);
    EXPECT_TRUE(rig.AllFramesReleased());
}

TEST(H264Parser, NoAllocatorOrRefusedAllocationDeliversNothing)
{
    Rig rig;
    rig.host.SetRefuseAllocations(true);
    auto source = OpenSource(MediaCodec::H264);
    rig.feeder->FeedFrames(*source, 3);
    rig.driver.allocator = nullptr;
    rig.feeder->FeedFrames(*source, 3);
    EXPECT_EQ(rig.host.FrameCount(), 0u);
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

TEST(H264Parser, DescriptionWithUnreadableSpsIsIgnored)
{
    SdpInfo sdp;
    sdp.sequenceParameterSet = {0x67, 0x42};
    sdp.pictureParameterSet = {0x68, 0xCE};
    Rig rig;
    rig.parser->SetParameterSets(sdp);
    rig.feeder->Feed({0x65, 0x88, 0x80}, true, 0);
    EXPECT_EQ(rig.host.FrameCount(), 0u);
}

}  // namespace
}  // namespace korvane::test
