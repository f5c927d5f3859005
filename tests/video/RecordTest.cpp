// "tallowcam record" against the simulated camera: the files it writes decode,
// and the camera streamed what the recording asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ToolRunner.h"
#include "support/ScratchDirectory.h"
#include "video/VideoTestSupport.h"

namespace korvane::test {
namespace {

using tallowcam_test::RunTool;
using tallowcam_test::ToolRun;

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Hex(const std::vector<uint8_t>& bytes, size_t count)
{
    std::string text;
    char digits[4];
    for (size_t i = 0; i < bytes.size() && i < count; ++i) {
        std::snprintf(digits, sizeof digits, "%02x ", bytes[i]);
        text += digits;
    }
    return text;
}

TEST(VideoRecord, RecordingsOfEachCodecAndRoleDecode)
{
    if (!tallowcam_test::HaveProgram("ffprobe"))
        GTEST_SKIP() << "ffprobe is not installed";
    ScratchDirectory scratch;
    // A copy of the program: the transport file it writes beside itself is this test's alone.
    const std::string tool = scratch.Path() + "tallowcam";
    std::filesystem::copy_file(TALLOWCAM_CLI_PATH, tool);
    camsim::CameraOptions options = CameraOfType(3);
    camsim::Camera camera(options);
    ASSERT_TRUE(camera.Start());

    struct Case {
        const char* codec;
        const char* stream;
        const char* file;
        const char* path;  // where the camera serves the role
        uint32_t width, height, framesPerSecond;
        const char* decodedCodec;
        const uint8_t lead[4];  // an Annex B start code, or the JPEG SOI
        size_t leadSize;
    };
    const Case cases[] = {
        {"h264", "live", "live.h264", "rtpstream/config4=u", 1280, 720, 15, "h264", {0, 0, 1}, 3},
        {"h264", "remote", "remote.h264", "rtpstream/config5=u", 640, 480, 10, "h264", {0, 0, 1}, 3},
        {"jpeg", "rec", "rec.mjpeg", "=u", 640, 480, 10, "mjpeg", {0xFF, 0xD8}, 2},
        {"jpeg", "remote", "remote.mjpeg", "=u", 320, 240, 5, "mjpeg", {0xFF, 0xD8}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.codec) + " " + c.stream);
        const std::string out = scratch.Path() + c.file;
        const DEVICE_INFO device = camera.DeviceInfo();
        const ToolRun run = RunTool(tool, {"record", device.address, "--port", std::to_string(device.port), "--codec",
                                           c.codec, "--stream", c.stream, "--transport", "tcp", "--width",
                                           std::to_string(c.width), "--height", std::to_string(c.height), "--fps",
                                           std::to_string(c.framesPerSecond), "--seconds", "0.6", "--out", out});
        ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;

        const std::vector<camsim::StreamDescription> described = camera.Streams().Described();
        ASSERT_FALSE(described.empty());
        const camsim::StreamDescription& served = described.back();
        EXPECT_NE(served.path.find(c.path), std::string::npos) << served.path;
        EXPECT_EQ(served.width, c.width);
        EXPECT_EQ(served.height, c.height);

        const std::vector<uint8_t> bytes = ReadBytes(out);
        ASSERT_GE(bytes.size(), c.leadSize);
        EXPECT_TRUE(std::equal(c.lead, c.lead + c.leadSize, bytes.begin())) << "the file's first bytes: " << Hex(bytes, 8);
        tallowcam_test::ProbedVideo decoded;
        std::string error;
        ASSERT_TRUE(tallowcam_test::ProbeVideoFile(out, decoded, error)) << error;
        EXPECT_EQ(decoded.codec, c.decodedCodec);
        // What camsim sends is its sample picture of the codec.
        const std::string sample = camsim::NearestSample(served.codec, served.width, served.height);
        unsigned sampleWidth = 0, sampleHeight = 0;
        ASSERT_EQ(std::sscanf(std::filesystem::path(sample).filename().c_str(), "sample%ux%u.", &sampleWidth,
                              &sampleHeight),
                  2)
            << sample;
        EXPECT_EQ(decoded.width, sampleWidth);
        EXPECT_EQ(decoded.height, sampleHeight);
        EXPECT_GT(decoded.frames, 0u);
    }
}

}  // namespace
}  // namespace korvane::test
