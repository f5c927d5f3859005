#pragma once
// Capability queries against simulated cameras, recorded by a CapabilityHost.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "camsim/Camera.h"
#include "support/CapabilityHost.h"
#include "tallowcam/CapabilityQuery.h"

namespace korvane::test {

constexpr const char* kCameraUser = "root";
constexpr const char* kCameraPassword = "camera";
// Longer than any query against loopback needs, short enough to end a hung test.
constexpr uint32_t kOutcomeTimeoutMs = 20000;

// A camera without PTZ, audio or a second stream, at most 15 frames per second.
camsim::CameraConfig FixedCamera();

// True once the condition holds, polled until the time-out.
bool WaitUntil(const std::function<bool()>& condition, uint32_t timeoutMs = kOutcomeTimeoutMs);

class CapabilityQueryTest : public ::testing::Test {
protected:
    // A running camera with the given model that accepts root/camera with Basic.
    camsim::Camera& StartCamera(const camsim::CameraConfig& config = {});
    // Starts the query on the camera's port and waits for its outcome.
    void Query(ipcapture::IIPCapabilityQuery& module, CapabilityHost& host, const char* address = "127.0.0.1",
               const char* password = kCameraPassword);
    // Runs a Canon query module with video standard 30 on the camera.
    void Query(CapabilityHost& host, const char* address = "127.0.0.1", const char* password = kCameraPassword);
    // The recorded text equals tests/data/capabilities/<name>.txt with "{port}"
    // standing for the camera's port.
    void ExpectRecording(const CapabilityHost& host, const std::string& name) const;
    uint16_t Port() const { return m_camera->HttpPort(); }
    camsim::Camera& Camera() { return *m_camera; }

private:
    std::unique_ptr<camsim::Camera> m_camera;
};

}  // namespace korvane::test
