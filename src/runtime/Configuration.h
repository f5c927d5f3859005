#pragma once
// The optional per-driver configuration file beside the host executable: the
// streaming mode for all cameras, and bit-rate, RTP and PTZ settings per camera
// (a Device section matching address and port, else the Default section).
// The file is read anew at every call; anything missing or invalid gives the defaults.
#include <cstdint>
#include <string>

#include "driver/DeviceInfo.h"

namespace korvane {

class CXmlParser;
class IDriver;

enum : uint32_t {
    kStreamingUnicast = 0,
    kStreamingMulticastPrimary = 1,
    kStreamingMulticast = 2,
};

enum : uint32_t {
    kBitrateDefault = 0,
    kBitrateVariable = 1,  // "VBR"
    kBitrateOff = 2,       // "OFF"
};

enum : uint32_t {
    kRtpModeDefault = 0,
    kRtpModeOverRtsp = 2,  // "RTPoverRTSP": interleaved in the RTSP connection
};

struct CConfigSettings {
    uint32_t rtpMode = kRtpModeDefault;
    uint32_t rtpPacketSize = 0;  // 0: the camera's default
    uint32_t panSpeed = 100;     // per cent
    uint32_t tiltSpeed = 100;
    uint32_t zoomSpeed = 100;
    uint32_t ptzQueueSize = 8;
};

class CConfiguration {
public:
    CConfiguration(const std::string& fileName, const std::string& directory, const DEVICE_INFO& device);
    // The driver's file in the host directory, for the driver's device.
    explicit CConfiguration(IDriver& driver);
    virtual ~CConfiguration() = default;

    static uint32_t GetStreamingMode(const std::string& fileName, const std::string& directory);
    static uint32_t GetStreamingMode(IDriver& driver);

    uint32_t GetBitrateMode() const;
    CConfigSettings GetSettings() const;

    // Empty for an empty file name.
    static std::string BuildPath(const std::string& fileName, const std::string& directory);

private:
    std::string SectionPath(const CXmlParser& parser) const;

    DEVICE_INFO m_device;
    std::string m_path;
};

}  // namespace korvane
