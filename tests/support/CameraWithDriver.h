#pragma once
// One simulated camera and the driver opened on it as a host would, with the
// host objects recording what the driver reports.
#include <cstdint>
#include <string>
#include <vector>

#include "camsim/Camera.h"
#include "driver/plugin/TallowcamDriver.h"
#include "support/DriverHost.h"
#include "support/FrameHost.h"
#include "support/WaitUntil.h"

namespace korvane::test {

// Above the driver's poll periods (one or two seconds) and its request time-out.
constexpr uint32_t kCameraWaitMs = 6000;

class CameraWithDriver {
public:
    explicit CameraWithDriver(const camsim::CameraOptions& options = {}) : camera(options) {}
    ~CameraWithDriver() { driver.Close(); }

    // Starts the camera and opens the driver with these input and output counts.
    bool Open(uint32_t inputs = 0, uint32_t outputs = 0)
    {
        if (!camera.Start())
            return false;
        params.deviceAddress.address = camera.DeviceInfo().address;
        params.deviceAddress.port = camera.HttpPort();
        params.captureInfo.inputCount = inputs;
        params.captureInfo.outputCount = outputs;
        return driver.Open(&logSink, &frames, &params);
    }

    // The requests the camera received whose target starts with prefix (clock
    // synchronisation and the like left out).
    std::vector<std::string> Requests(const std::string& prefix)
    {
        std::vector<std::string> selected;
        for (const std::string& target : camera.HttpRequests().Targets())
            if (target.rfind(prefix, 0) == 0)
                selected.push_back(target);
        return selected;
    }
    size_t RequestCount(const std::string& prefix) { return Requests(prefix).size(); }
    bool WaitForRequests(const std::string& prefix, size_t count, uint32_t timeoutMs = kCameraWaitMs)
    {
        return WaitUntil([&] { return RequestCount(prefix) >= count; }, timeoutMs);
    }

    camsim::Camera camera;
    RecordingLogSink logSink;
    CFrameHost frames;
    SettableDriverParams params;
    CTallowcamDriver driver;
};

}  // namespace korvane::test
