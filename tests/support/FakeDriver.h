#pragma once
// An IDriver for component tests: settable device data and parameters, and a
// record of every log line.
#include <cstdarg>
#include <cstdlib>
#include <map>
#include <string>

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "driver/StreamDefaults.h"
#include "runtime/StringFormat.h"
#include "support/DriverHost.h"

namespace korvane::test {

class FakeDriver : public IDriver, public LogRecord {
public:
    FakeDriver() { SetCamera("127.0.0.1", 80); }

    const char* GetDeviceName() override { return m_deviceName.c_str(); }
    [[gnu::format(printf, 3, 4)]] void DebugMessage(uint32_t level, const char* format, ...) override
    {
        va_list args;
        va_start(args, format);
        std::string text = FormatStringV(format, args);
        va_end(args);
        AddLine(level, std::move(text));
    }
    const char* GetDriverName() override { return "Tallowcam"; }
    const char* GetHostDirectory() override { return hostDirectory.c_str(); }
    DEVICE_INFO* GetDeviceInfo() override { return &deviceInfo; }
    void GetCaptureValues(uint32_t& inputs, uint32_t& outputs) override
    {
        inputs = inputCount;
        outputs = outputCount;
    }
    ipcapture::IFrameAllocator* GetHostContext() override { return allocator; }
    int32_t GetParameter1Value() override { return 0; }
    uint32_t GetDefaultCodec() override { return defaultCodec; }
    uint32_t GetChannelCount() override { return channelCount; }
    std::string GetParameterString(uint32_t index) override
    {
        const auto found = parameters.find(index);
        return found == parameters.end() || found->second == "(none)" ? std::string() : found->second;
    }
    int32_t GetParameterInt(uint32_t index) override
    {
        const std::string text = GetParameterString(index);
        if (text.empty())
            return kParameterMissing;
        char* end = nullptr;
        const long value = std::strtol(text.c_str(), &end, 10);
        return (end != nullptr && *end == '\0') ? static_cast<int32_t>(value) : kParameterMissing;
    }
    CPtzCapabilities* GetPtzCapabilities() override { return ptzCapabilities; }
    CStreamDefaults* GetStreamDefaults() override { return &streamDefaults; }

    // Points the device record at a camera and renames the device to match.
    void SetCamera(const std::string& address, uint32_t port)
    {
        deviceInfo.address = address;
        deviceInfo.port = port;
        m_deviceName = address + ":" + std::to_string(port);
    }

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
