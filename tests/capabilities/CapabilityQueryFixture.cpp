#include "CapabilityQueryFixture.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "capabilities/CanonCapabilityQueryModule.h"
#include "capabilities/CameraReply.h"

namespace korvane::test {

camsim::CameraConfig FixedCamera()
{
    camsim::CameraConfig config;
    config.model = "VB-S30D";
    config.firmware = "Ver. 1.1.0";
    config.macAddress = "00:1e:8f:aa:bb:01";
    config.videoList = {"h264:640x480", "h264:1280x960", "mpeg4:640x480", "h264:320x240"};
    config.pan = config.tilt = config.zoom = config.focus = false;
    config.inputs = 1;
    config.outputs = 1;
    config.audioChannels = 0;
    config.secondStream = false;
    config.lowFrameRate = true;
    return config;
}

bool WaitUntil(const std::function<bool()>& condition, uint32_t timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

camsim::Camera& CapabilityQueryTest::StartCamera(const camsim::CameraConfig& config)
{
    camsim::CameraOptions options;
    options.model = config;
    options.auth = {kCameraUser, kCameraPassword, {camsim::AuthScheme::Basic}};
    m_camera = std::make_unique<camsim::Camera>(options);
    EXPECT_TRUE(m_camera->Start());
    return *m_camera;
}

void CapabilityQueryTest::Query(ipcapture::IIPCapabilityQuery& module, CapabilityHost& host, const char* address,
                                const char* password)
{
    ASSERT_TRUE(module.Start(address, Port(), kCameraUser, password, &host));
    ASSERT_TRUE(host.WaitForOutcome(kOutcomeTimeoutMs));
}

void CapabilityQueryTest::Query(CapabilityHost& host, const char* address, const char* password)
{
    CCanonCapabilityQueryModule module(&host, true);
    Query(module, host, address, password);
}

void CapabilityQueryTest::ExpectRecording(const CapabilityHost& host, const std::string& name) const
{
    const std::string path = std::string(TALLOWCAM_TEST_DATA_DIR) + "/capabilities/" + name + ".txt";
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << path;
    std::stringstream expected;
    expected << file.rdbuf();
    const std::string port = std::to_string(Port());
    const std::string actual = host.Text();
    EXPECT_EQ(actual, ReplaceAll(expected.str(), "{port}", port)) << path;
    if (actual != ReplaceAll(expected.str(), "{port}", port)) {
        // Left in the working directory for comparison.
        std::ofstream(name + ".actual.txt", std::ios::binary)
            << ReplaceAll(actual, "connection 2 = \"" + port + "\"", "connection 2 = \"{port}\"");
    }
}

}  // namespace korvane::test
