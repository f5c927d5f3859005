#pragma once
// Capability queries against simulated cameras, recorded by a CapabilityHost,
// and stand-ins for the host core library.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "camsim/Camera.h"
#include "capabilities/CameraReply.h"
#include "capabilities/CanonCapabilityQueryModule.h"
#include "platform/DynamicLibrary.h"
#include "support/CapabilityHost.h"
#include "support/TestData.h"
#include "tallowcam/CapabilityQuery.h"

namespace korvane::test {

constexpr const char* kCameraUser = "root";
constexpr const char* kCameraPassword = "camera";
// Longer than any query against loopback needs, short enough to end a hung test.
constexpr uint32_t kOutcomeTimeoutMs = 20000;

// A camera without PTZ, audio or a second stream, at most 15 frames per second.
inline camsim::CameraConfig FixedCamera()
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

// Loads a stand-in host core library of a given version for the lifetime of the object.
class HostVersion {
public:
    explicit HostVersion(const char* stubPath) { EXPECT_TRUE(m_library.Load(stubPath)) << stubPath; }

private:
    platform::DynamicLibrary m_library;
};

class CapabilityQueryTest : public ::testing::Test {
protected:
    // A running camera with the given model that accepts root/camera with Basic.
    camsim::Camera& StartCamera(const camsim::CameraConfig& config = {})
    {
        camsim::CameraOptions options;
        options.model = config;
        options.auth = {kCameraUser, kCameraPassword, {camsim::AuthScheme::Basic}};
        m_camera = std::make_unique<camsim::Camera>(options);
        EXPECT_TRUE(m_camera->Start());
        return *m_camera;
    }
    // Starts the query on the camera's port and waits for its outcome.
    void Query(ipcapture::IIPCapabilityQuery& module, CapabilityHost& host, const char* address = "127.0.0.1",
               const char* password = kCameraPassword)
    {
        ASSERT_TRUE(module.Start(address, Port(), kCameraUser, password, &host));
        ASSERT_TRUE(host.WaitForOutcome(kOutcomeTimeoutMs));
    }
    // Runs a Canon query module with video standard 30 on the camera.
    void Query(CapabilityHost& host, const char* address = "127.0.0.1", const char* password = kCameraPassword)
    {
        CCanonCapabilityQueryModule module(&host, true);
        Query(module, host, address, password);
    }
    // The recorded text equals tests/data/capabilities/<name>.txt with "{port}"
    // standing for the camera's port; a different text is left in the working
    // directory as <name>.actual.txt for comparison.
    void ExpectRecording(const CapabilityHost& host, const std::string& name) const
    {
        const std::string port = std::to_string(Port());
        const std::string expected = ReplaceAll(ReadTestData("capabilities/" + name + ".txt") + "\n", "{port}", port);
        EXPECT_EQ(host.Text(), expected) << name;
        if (host.Text() != expected) {
            std::ofstream(name + ".actual.txt", std::ios::binary)
                << ReplaceAll(host.Text(), "connection 2 = \"" + port + "\"", "connection 2 = \"{port}\"");
        }
    }
    uint16_t Port() const { return m_camera->HttpPort(); }
    camsim::Camera& Camera() { return *m_camera; }

private:
    std::unique_ptr<camsim::Camera> m_camera;
};

}  // namespace korvane::test
