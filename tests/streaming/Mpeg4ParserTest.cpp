#include <gtest/gtest.h>

#include "streaming/Mpeg4HeaderParser.h"
#include "streaming/ParserTestSupport.h"
#include "streaming/SdpInfo.h"

namespace korvane::test {
namespace {

using camsim::MediaCodec;
using camsim::MediaSourceOptions;
using Rig = ParserRig<CMpeg4RTPMediaParser>;

constexpr size_t kSampleFrames = 20;

// The sample's configuration headers (VOS, VO, VOL and user data).
std::vector<uint8_t> SampleConfig()
{
    const std::vector<uint8_t> first = FirstFramePayloads(MediaCodec::Mpeg4).at(0).bytes;
    for (size_t i = 4; i + 4 <= first.size(); ++i) {
        if (first[i] == 0 && first[i + 1] == 0 && first[i + 2] == 1 && (first[i + 3] == 0xB6 || first[i + 3] == 0xB3))
            return std::vector<uint8_t>(first.begin(), first.begin() + i);
    }
    return {};
}

TEST(Mpeg4Parser, UsesTheHostLibraryWhenInstalledOrBesideTheHostExecutable)
{
    {
        // Looked for beside the host executable (checked before any parser holds the library).
        FakeDriver driver;
        const CMpeg4RTPMediaParser elsewhere(&driver);
        EXPECT_FALSE(elsewhere.UsesHeaderLibrary());
        EXPECT_FALSE(CMpeg4RTPMediaParser(&driver, kNoHeaderLibrary).UsesHeaderLibrary());
        const std::string libraryPath = TEST_HEADER_LIBRARY_PATH;
        driver.hostDirectory = libraryPath.substr(0, libraryPath.rfind('/') + 1);
        const CMpeg4RTPMediaParser beside(&driver);
        EXPECT_TRUE(beside.UsesHeaderLibrary());
    }
    Rig rig("127.0.0.1:80::RecStream", TEST_HEADER_LIBRARY_PATH);
    ASSERT_TRUE(rig.parser->UsesHeaderLibrary());
    auto source = OpenSource(MediaCodec::Mpeg4);
    rig.feeder->FeedFrames(*source, kSampleFrames);
    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    ASSERT_EQ(frames.size(), kSampleFrames);
    // The test library reports a fixed size of its own.
    EXPECT_EQ(frames[0].width, 704u);
    EXPECT_EQ(frames[0].height, 576u);
    EXPECT_EQ(frames[1].width, 704u);
}

TEST(Mpeg4Parser, KeyFrameTheHeaderParserRejectsIsNotDelivered)
{
    Rig rig("127.0.0.1:80::RecStream", TEST_REJECTING_HEADER_LIBRARY_PATH);
    ASSERT_TRUE(rig.parser->UsesHeaderLibrary());
    auto source = OpenSource(MediaCodec::Mpeg4);
    rig.feeder->FeedFrames(*source, kSampleFrames);
    EXPECT_EQ(rig.host.FrameCount(), 0u);
    EXPECT_EQ(rig.host.Allocations(), 0u);
}

TEST(Mpeg4Parser, DescriptionConfigGoesInFrontOfKeyFramesWithoutInBandHeaders)
{
    SdpInfo sdp;
    sdp.config = SampleConfig();
    ASSERT_FALSE(sdp.config.empty());
    MediaSourceOptions options;
    options.mpeg4ConfigInBand = false;
    Rig rig("127.0.0.1:80::RecStream", kNoHeaderLibrary);
    rig.parser->SetParameterSets(sdp);
    auto source = OpenSource(MediaCodec::Mpeg4, options);
    rig.feeder->FeedFrames(*source, kSampleFrames);
    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    ASSERT_EQ(frames.size(), kSampleFrames);
    EXPECT_TRUE(StartsWith(frames[0].bytes, sdp.config));
    EXPECT_EQ(frames[0].width, 352u);
}

TEST(Mpeg4Parser, SplitsConfigurationAndVopInOnePacket)
{
    Rig rig("127.0.0.1:80::RecStream", TEST_HEADER_LIBRARY_PATH);
    std::vector<uint8_t> payload = {0, 0, 1, 0xB0, 1};
    payload.resize(20, 0x55);
    const std::vector<uint8_t> vop = {0, 0, 1, 0xB6, 0x10, 0x20, 0x30};
    payload.insert(payload.end(), vop.begin(), vop.end());
    rig.feeder->Feed(payload, true, 0);
    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].bytes, payload);  // 20 configuration bytes, then the VOP from offset 20
    EXPECT_EQ(frames[0].fourCC, CMpeg4RTPMediaParser::kFourCCKeyFrame);

    // The stored configuration now precedes a key frame sent without it.
    rig.feeder->Feed(vop, true, 3600);
    const std::vector<DeliveredFrame> after = rig.host.Frames();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1].bytes, payload);
}

TEST(Mpeg4Parser, ShortConfigurationPacketIsStoredAndLongOneIsFrameData)
{
    Rig rig("127.0.0.1:80::RecStream", TEST_HEADER_LIBRARY_PATH);
    std::vector<uint8_t> config = {0, 0, 1, 0xB0, 1, 0, 0, 1, 0xB5, 9};
    rig.feeder->Feed(config, false, 0);
    const std::vector<uint8_t> intra = {0, 0, 1, 0xB6, 0x00, 0x44};
    rig.feeder->Feed(intra, true, 0);
    std::vector<uint8_t> longConfig(80, 0x33);
    longConfig[0] = 0;
    longConfig[1] = 0;
    longConfig[2] = 1;
    longConfig[3] = 0xB0;
    rig.feeder->Feed(longConfig, true, 3600);

    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    ASSERT_EQ(frames.size(), 2u);
    std::vector<uint8_t> expected = config;
    expected.insert(expected.end(), intra.begin(), intra.end());
    EXPECT_EQ(frames[0].bytes, expected);
    EXPECT_EQ(frames[1].bytes, longConfig);
}

TEST(Mpeg4Parser, PredictedVopBeforeAnyKeyFrameIsDropped)
{
    Rig rig("127.0.0.1:80::RecStream", TEST_HEADER_LIBRARY_PATH);
    rig.feeder->Feed({0, 0, 1, 0xB6, 0x50, 0x11}, true, 0);
    EXPECT_EQ(rig.host.FrameCount(), 0u);
    rig.feeder->Feed({0, 0, 1, 0xB6, 0x10, 0x11}, true, 3600);
    rig.feeder->Feed({0, 0, 1, 0xB6, 0x50, 0x11}, true, 7200);
    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].fourCC, CMpeg4RTPMediaParser::kFourCCOtherFrame);
    EXPECT_EQ(frames[1].width, 704u);  // the size of the last key frame
}

TEST(Mpeg4Parser, BuiltInHeaderParserNeedsARectangularVideoObjectLayer)
{
    int32_t width = -1;
    int32_t height = -1;
    const std::vector<uint8_t> config = SampleConfig();
    EXPECT_GT(ParseVideoObjectLayerSize(config.data(), static_cast<uint32_t>(config.size()), &width, &height), 0);
    EXPECT_EQ(width, 352);
    EXPECT_EQ(height, 288);
    const std::vector<uint8_t> noLayer = {0, 0, 1, 0xB0, 1, 0, 0, 1, 0xB6, 0};
    EXPECT_EQ(ParseVideoObjectLayerSize(noLayer.data(), static_cast<uint32_t>(noLayer.size()), &width, &height), 0);
    size_t layer = 0;
    while (layer + 4 < config.size() && !(config[layer + 2] == 1 && config[layer + 3] == 0x20))
        ++layer;
    const uint32_t truncated = static_cast<uint32_t>(layer + 6);  // the size fields are further on
    EXPECT_EQ(ParseVideoObjectLayerSize(config.data(), truncated, &width, &height), 0);
}

}  // namespace
}  // namespace korvane::test
