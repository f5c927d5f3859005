#include "FaultFixture.h"

#include <algorithm>
#include <set>

#include "support/FrameDecoding.h"

namespace korvane::test {

void FaultTest::TearDown()
{
    plugin.Close();
    EXPECT_EQ(plugin.frames.OutstandingFrames(), 0u) << "every frame goes back to the host";
    EXPECT_FALSE(plugin.log.HasLineContaining("cannot be stopped"));
}

camsim::Camera& FaultTest::StartCamera(bool onRtspPort, const std::function<void(camsim::CameraOptions&)>& adjust)
{
    camsim::CameraOptions options;
    options.address = kCameraAddress;
    options.rtspPort = onRtspPort ? 554 : 0;
    if (adjust)
        adjust(options);
    camera = std::make_unique<camsim::Camera>(options);
    EXPECT_TRUE(camera->Start());
    return *camera;
}

void FaultTest::OpenDriver(const std::string& address)
{
    plugin.params.deviceAddress.address = address;
    plugin.params.deviceAddress.port = camera ? camera->HttpPort() : 80;
    ASSERT_TRUE(plugin.Open());
}

std::vector<std::string> FaultTest::CameraRequests() const
{
    std::vector<std::string> targets;
    for (std::string& target : camera->HttpRequests().Targets())
        if (target.find("bc") == std::string::npos)
            targets.push_back(std::move(target));
    return targets;
}

void FaultTest::ExpectBoundedStop(uint32_t streamNumber)
{
    ipcapture::IIPVideoCaptureEx2& video = plugin.Video();
    const uint64_t stopMs =
        TimedMs([&] { EXPECT_TRUE(streamNumber == 0 ? video.StopChannel(0) : video.StopStream(0, streamNumber)); });
    EXPECT_LT(stopMs, kStopBoundMs) << "stream " << streamNumber;
}

void FaultTest::ExpectSamplePictures(uint32_t role, camsim::MediaCodec codec)
{
    const std::string format = codec == camsim::MediaCodec::H264 ? "h264" : "mjpeg";
    SCOPED_TRACE(format);
    std::string samplePath;
    for (const camsim::StreamDescription& description : camera->Streams().Described())
        if (description.codec == codec)
            samplePath = description.sampleFile;
    const std::vector<DeliveredFrame> frames = plugin.FramesOf(role);
    ASSERT_FALSE(frames.empty());
    std::vector<DeliveredFrame> stream = frames;
    if (format == "h264") {
        // Each frame ends with the start of the next access unit's delimiter; the last one has no successor.
        std::vector<uint8_t>& last = stream.back().bytes;
        last.resize(last.size() >= 5 ? last.size() - 5 : 0);
    }
    const CFrameFile file(stream, "." + format);
    EXPECT_EQ(Decode(file, format).errors, "");
    const std::vector<std::string> decoded = PictureChecksums(file.Path(), format);
    EXPECT_EQ(decoded.size(), frames.size()) << "one picture per delivered frame";
    const std::vector<std::string> sample = PictureChecksums(samplePath, format);
    const std::set<std::string> samplePictures(sample.begin(), sample.end());
    const auto foreign = std::count_if(decoded.begin(), decoded.end(),
                                       [&](const std::string& picture) { return samplePictures.count(picture) == 0; });
    EXPECT_EQ(foreign, 0) << "pictures that are not the sample's, of " << decoded.size();
}

}  // namespace korvane::test
