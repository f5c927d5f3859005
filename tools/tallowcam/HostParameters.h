#pragma once
// The camera description a recorder hands to the driver's Open: device
// address and account, capture information and numbered parameters.
#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "tallowcam/HostInterfaces.h"

namespace tallowcam_host {

struct CameraSettings {
    std::string address = "127.0.0.1";
    uint16_t port = 80;
    std::string userName = "root";
    std::string password;
    std::string model = "VB-H43";
    uint32_t defaultCodec = 3;  // H.264
    uint32_t channelCount = 1;
    uint32_t inputCount = 0;
    uint32_t outputCount = 0;
    std::map<uint32_t, std::string> parameters;  // numbered from 1; empty values as "(none)"
};

class HostParameters final : public korvane::ipcapture::IDriverParams,
                       private korvane::ipcapture::ICaptureInfo,
                       private korvane::ipcapture::IDeviceAddress {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    explicit HostParameters(CameraSettings settings) : m_settings(std::move(settings)) {}

    korvane::ipcapture::ICaptureInfo* GetCaptureInfo() override { return this; }
    korvane::ipcapture::IDeviceAddress* GetDeviceAddress() override { return this; }
    const char* GetParameter(uint32_t index) override;

private:
    // ICaptureInfo
    const char* GetModelName() override { return m_settings.model.c_str(); }
    uint32_t GetChannelCount() override { return m_settings.channelCount; }
    uint32_t GetInputCount() override { return m_settings.inputCount; }
    uint32_t GetOutputCount() override { return m_settings.outputCount; }
    // IDeviceAddress
    const char* GetAddress() override { return m_settings.address.c_str(); }
    uint16_t GetPort() override { return m_settings.port; }
    uint32_t GetDefaultCodec() override { return m_settings.defaultCodec; }
    const char* GetUserName() override { return m_settings.userName.c_str(); }
    const char* GetPassword() override { return m_settings.password.c_str(); }

    CameraSettings m_settings;
};

}  // namespace tallowcam_host
