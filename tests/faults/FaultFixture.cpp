#include "FaultFixture.h"

#include <algorithm>
#include <set>

#include "support/FrameDecoding.h"

namespace korvane::test {

uint64_t ElapsedMs(Clock::time_point since)
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

uint64_t TimedMs(const std::function<void()>& call)
{
    const auto start = Clock::now();
    call();
    return ElapsedMs(start);
}

SettableStreamRequest StreamRequest(uint32_t codec, uint32_t width, uint32_t height)
{
    SettableStreamRequest request;
    request.format.codec = codec;
    request.format.resolution.width = width;
    request.format.resolution.height = height;
    return request;
}

CPluginDriver::CPluginDriver()
{
    if (!m_plugin.Load(TALLOWCAM_PLUGIN_PATH))
        return;
    m_create = reinterpret_cast<decltype(m_create)>(m_plugin.Symbol("CreateIPCapture"));
    m_destroy = reinterpret_cast<decltype(m_destroy)>(m_plugin.Symbol("DeleteIPCapture"));
    m_createQuery = reinterpret_cast<decltype(m_createQuery)>(m_plugin.Symbol("CreateCapabilityQueryModule"));
    // The host hands its numbered parameters without gaps; 5 lets PTZ commands through.
    for (uint32_t index = 1; index <= 4; ++index)
        params.parameters[index] = "(none)";
    params.parameters[5] = "Pan=1; Tilt=1; Zoom=1; Focus=0; Iris=0; PanSpeed=1-100;TiltSpeed=1-100;ZoomSpeed=1-7;";
}

CPluginDriver::~CPluginDriver()
{
    Close();
}

bool CPluginDriver::Open(ipcapture::IFrameAllocator* allocator)
{
    Close();
    if (!IsLoaded())
        return false;
    m_driver = m_create();
    return m_driver != nullptr && m_driver->Open(&log, allocator, &params);
}

void CPluginDriver::Close()
{
    if (m_driver == nullptr)
        return;
    m_driver->Close();
    m_destroy(m_driver);
    m_driver = nullptr;
}

uint32_t CPluginDriver::ChannelState(uint32_t index)
{
    uint32_t state = 99;
    return Video().GetChannelState(index, &state, nullptr, nullptr, 0) ? state : 99;
}

std::unique_ptr<ipcapture::IIPCapabilityQuery, std::function<void(ipcapture::IIPCapabilityQuery*)>>
CPluginDriver::CreateCapabilityQuery(ipcapture::ICapabilityCallback* callback)
{
    auto destroy = m_destroy;
    return {m_createQuery(callback, 0), [destroy](ipcapture::IIPCapabilityQuery* module) {
                if (module != nullptr)
                    destroy(module);
            }};
}

void FaultTest::SetUp()
{
    ASSERT_TRUE(plugin.IsLoaded()) << TALLOWCAM_PLUGIN_PATH;
}

void FaultTest::TearDown()
{
    plugin.Close();
    EXPECT_EQ(host.OutstandingFrames(), 0u) << "every frame goes back to the host";
    EXPECT_TRUE(plugin.log.LinesContaining("cannot be stopped").empty());
    camera.reset();
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
    ASSERT_TRUE(plugin.Open(&host));
}

std::vector<DeliveredFrame> FaultTest::FramesOf(const std::string& streamSuffix) const
{
    std::vector<DeliveredFrame> frames;
    for (DeliveredFrame& frame : host.Frames()) {
        const std::string& name = frame.streamName;
        if (name.size() >= streamSuffix.size() &&
            name.compare(name.size() - streamSuffix.size(), std::string::npos, streamSuffix) == 0)
            frames.push_back(std::move(frame));
    }
    return frames;
}

bool FaultTest::WaitForFrames(const std::string& streamSuffix, size_t count, uint32_t timeoutMs)
{
    return WaitUntil([&] { return FrameCountOf(streamSuffix) >= count; }, timeoutMs);
}

size_t FaultTest::RtspRequests(const std::string& method) const
{
    const std::vector<std::string> requests = camera->Rtsp().Recorder().Requests();
    return static_cast<size_t>(std::count_if(requests.begin(), requests.end(), [&](const std::string& request) {
        return request.rfind(method + " ", 0) == 0;
    }));
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
    const uint64_t stopMs = TimedMs([&] {
        EXPECT_TRUE(streamNumber == 0 ? video.StopChannel(0) : video.StopStream(0, streamNumber));
    });
    EXPECT_LT(stopMs, kStopBoundMs) << "stream " << streamNumber;
    RecordProperty("stop_ms_stream_" + std::to_string(streamNumber), static_cast<int>(stopMs));
}

void ExpectSamplePictures(const std::vector<DeliveredFrame>& frames, const std::string& format,
                          const std::string& samplePath)
{
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
    size_t foreign = 0;
    for (const std::string& picture : decoded)
        foreign += samplePictures.count(picture) == 0 ? 1 : 0;
    EXPECT_EQ(foreign, 0u) << "pictures that are not the sample's, of " << decoded.size();
}

}  // namespace korvane::test
