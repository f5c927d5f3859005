#include "support/CameraWithDriver.h"

#include "support/WaitUntil.h"

namespace korvane::test {

bool CameraWithDriver::Open(uint32_t inputs, uint32_t outputs)
{
    if (!camera.Start())
        return false;
    params.deviceAddress.address = camera.DeviceInfo().address;
    params.deviceAddress.port = camera.HttpPort();
    params.captureInfo.inputCount = inputs;
    params.captureInfo.outputCount = outputs;
    return driver.Open(&logSink, &frames, &params);
}

std::vector<std::string> CameraWithDriver::Requests(const std::string& prefix)
{
    std::vector<std::string> selected;
    for (const std::string& target : camera.HttpRequests().Targets())
        if (target.rfind(prefix, 0) == 0)
            selected.push_back(target);
    return selected;
}

bool CameraWithDriver::WaitForRequests(const std::string& prefix, size_t count, uint32_t timeoutMs)
{
    return WaitUntil([&] { return RequestCount(prefix) >= count; }, timeoutMs);
}

}  // namespace korvane::test
