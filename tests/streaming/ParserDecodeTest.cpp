// The reassembled streams must decode cleanly with a real decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "streaming/ParserTestSupport.h"
#include "streaming/SdpInfo.h"
#include "support/FrameDecoding.h"

namespace korvane::test {
namespace {

using camsim::H264Packetisation;
using camsim::MediaCodec;
using camsim::MediaSourceOptions;

std::string SamplePath(const char* name)
{
    return std::string(TALLOWCAM_TEST_DATA_DIR) + "/media/" + name;
}

// The checksums of a sample file, decoded once per test program.
const std::string& SampleChecksums(const char* name, const std::string& format)
{
    static std::map<std::string, std::string> checksums;
    auto found = checksums.find(name);
    if (found == checksums.end())
        found = checksums.emplace(name, FrameChecksums(SamplePath(name), format)).first;
    return found->second;
}

std::vector<DeliveredFrame> Reassemble(MediaCodec codec, const MediaSourceOptions& options, size_t frames,
                                       const SdpInfo& sdp = {}, const std::string& mpeg4Library = kNoHeaderLibrary)
{
    ParserRig<> rig(codec, mpeg4Library);
    rig.parser->SetParameterSets(sdp);
    auto source = OpenSource(codec, options);
    EXPECT_NE(source, nullptr);
    if (source)
        rig.feeder->FeedFrames(*source, frames);
    EXPECT_TRUE(rig.AllFramesReleased());
    return rig.host.Frames();
}

// A sample's parameter sets, as a description carries them (taken from a single-NAL copy of the stream).
SdpInfo SampleDescription(const std::string& path)
{
    MediaSourceOptions single;
    single.filePath = path;
    single.h264Mode = H264Packetisation::SingleNal;
    const std::vector<camsim::RtpPayload> payloads = FirstFramePayloads(MediaCodec::H264, single);
    SdpInfo sdp;
    sdp.sequenceParameterSet = payloads.at(0).bytes;
    sdp.pictureParameterSet = payloads.at(1).bytes;
    return sdp;
}

class ParserDecode : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    }
};

TEST_F(ParserDecode, H264InEveryPacketisationDecodesCleanly)
{
    struct Sample {
        const char* file;
        uint32_t width;
        uint32_t height;
        size_t frames;
    };
    const Sample mainProfile{"sample640x480.h264", 640, 480, 50};
    // High profile: scaling lists in the SPS, picture order count type 1, 1088 lines cropped to 1080.
    const Sample highProfile{"sample1920x1080high.h264", 1920, 1080, 10};
    struct Case {
        const char* name;
        Sample sample;
        H264Packetisation mode;
        size_t maxPayload;
        bool parameterSetsInBand;
    };
    for (const Case& c : {Case{"FU-A small", mainProfile, H264Packetisation::NonInterleaved, 500, true},
                          Case{"STAP-A and FU-A", mainProfile, H264Packetisation::NonInterleaved, 1400, true},
                          Case{"FU-A, sets in SDP only", mainProfile, H264Packetisation::NonInterleaved, 1400, false},
                          Case{"single NAL", mainProfile, H264Packetisation::SingleNal, 1400, true},
                          Case{"High profile, sets in SDP only", highProfile, H264Packetisation::NonInterleaved,
                               1400, false}}) {
        SCOPED_TRACE(c.name);
        MediaSourceOptions options;
        options.filePath = SamplePath(c.sample.file);
        options.h264Mode = c.mode;
        options.maxPayloadSize = c.maxPayload;
        options.h264ParameterSetsInBand = c.parameterSetsInBand;
        const std::vector<DeliveredFrame> frames = Reassemble(
            MediaCodec::H264, options, c.sample.frames, SampleDescription(options.filePath));
        ASSERT_EQ(frames.size(), c.sample.frames);
        EXPECT_EQ(frames[0].width, c.sample.width);
        EXPECT_EQ(frames[0].height, c.sample.height);
        // Each frame ends with the start of the next access unit's delimiter; the last one has no successor.
        std::vector<DeliveredFrame> stream = frames;
        stream.back().bytes.resize(stream.back().bytes.size() - 5);
        const CFrameFile file(stream, ".h264");
        const DecodeResult result = Decode(file, "h264");
        EXPECT_EQ(result.errors, "");
        EXPECT_EQ(result.summary, std::to_string(c.sample.width) + "," + std::to_string(c.sample.height) + "," +
                                      std::to_string(c.sample.frames) + "\n");
        EXPECT_EQ(FrameChecksums(file.Path(), "h264"), SampleChecksums(c.sample.file, "h264"));
    }
}

TEST_F(ParserDecode, JpegWithTablesFromQAndInBandDecodesCleanly)
{
    struct Case {
        uint8_t q;
        uint16_t restartInterval;
    };
    for (const Case& c : {Case{30, 0}, Case{85, 0}, Case{255, 0}, Case{60, 5}, Case{255, 7}}) {
        SCOPED_TRACE(::testing::Message() << "Q " << int{c.q} << ", restart interval " << c.restartInterval);
        MediaSourceOptions options;
        options.jpegQ = c.q;
        options.jpegRestartInterval = c.restartInterval;
        const std::vector<DeliveredFrame> frames = Reassemble(MediaCodec::Jpeg, options, 20);
        ASSERT_EQ(frames.size(), 20u);
        const std::vector<uint8_t> dri = {0xFF, 0xDD, 0x00, 0x04, 0x00, static_cast<uint8_t>(c.restartInterval)};
        const bool hasDri = std::search(frames[0].bytes.begin(), frames[0].bytes.end(), dri.begin(), dri.end()) !=
                            frames[0].bytes.end();
        EXPECT_EQ(hasDri, c.restartInterval != 0);
        const CFrameFile file(frames, ".mjpeg");
        const DecodeResult result = Decode(file, "mjpeg");
        EXPECT_EQ(result.errors, "");
        EXPECT_EQ(result.summary, "320,240,20\n");
        if (c.q >= 128) {
            // Tables in band: only the entropy coding changed on the way, the pictures are identical.
            EXPECT_EQ(FrameChecksums(file.Path(), "mjpeg"), SampleChecksums("sample320x240.mjpeg", "mjpeg"));
        }
    }
}

TEST_F(ParserDecode, Mpeg4WithAndWithoutTheHostLibraryDecodesCleanly)
{
    for (const char* library : {kNoHeaderLibrary, TEST_HEADER_LIBRARY_PATH}) {
        SCOPED_TRACE(library);
        const std::vector<DeliveredFrame> frames = Reassemble(MediaCodec::Mpeg4, {}, 20, {}, library);
        ASSERT_EQ(frames.size(), 20u);
        const CFrameFile file(frames, ".m4v");
        const DecodeResult result = Decode(file, "m4v");
        EXPECT_EQ(result.errors, "");
        EXPECT_EQ(result.summary, "352,288,20\n");
    }
}

}  // namespace
}  // namespace korvane::test
