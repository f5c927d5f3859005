#pragma once
// An IDriver for component tests: settable device data and parameters, and a
// record of every log line.
#include <map>
#include <string>

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "driver/StreamDefaults.h"
#include "support/DriverHost.h"

namespace korvane::test {

class FakeDriver : public IDriver, public LogRecord {
public:
    FakeDriver() { SetCamera("127.0.0.1", 80); }

    const char* GetDeviceName() override { return m_deviceName.c_str(); }
    void DebugMessage(uint32_t level, const char* format, ...) override __attribute__((format(printf, 3, 4)));
    const char* GetDriverName() override { return "Tallowcam"; }
    const char* GetHostDirectory() override { return hostDirectory.c_str(); }
    DEVICE_INFO* GetDeviceInfo() override { return &deviceInfo; }
    void GetCaptureValues(uint32_t& inputs, uint32_t& outputs) override;
    ipcapture::IFrameAllocator* GetHostContext() override { return allocator; }
    int32_t GetParameter1Value() override { return 0; }
    uint32_t GetDefaultCodec() override { return defaultCodec; }
    uint32_t GetChannelCount() override { return channelCount; }
    std::string GetParameterString(uint32_t index) override;
    int32_t GetParameterInt(uint32_t index) override;
    CPtzCapabilities* GetPtzCapabilities() override { return ptzCapabilities; }
    CStreamDefaults* GetStreamDefaults() override { return &streamDefaults; }

    // Points the device record at a camera and renames the device to match.
    void SetCamera(const std::string& address, uint32_t port);

    DEVICE_INFO deviceInfo;
    std::string hostDirectory = "/tmp/";
    uint32_t inputCount = 0, outputCount = 0;
    ipcapture::IFrameAllocator* allocator = nullptr;
    uint32_t defaultCodec = 3, channelCount = 1;
    std::map<uint32_t, std::string> parameters;
    CPtzCapabilities* ptzCapabilities = nullptr;
    CStreamDefaults streamDefaults;

private:
    std::string m_deviceName;
};

}  // namespace korvane::test
