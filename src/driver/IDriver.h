#pragma once
// Driver services handed to every channel, PTZ, I/O and audio object.
#include <cstdint>
#include <string>

#include "tallowcam/HostInterfaces.h"

namespace korvane {

struct DEVICE_INFO;
class CPtzCapabilities;
class CStreamDefaults;

// Log levels.
enum : uint32_t {
    kLogError = 1,
    kLogWarning = 2,
    kLogInfo = 3,
    kLogDebug = 4,     // never sent to the host
    kLogNotable = 100  // notable event
};

constexpr int32_t kParameterMissing = static_cast<int32_t>(0x80000000u);

class IDebugMessage {
public:
    virtual ~IDebugMessage() = default;
    // Address and port, "address:port".
    virtual const char* GetDeviceName() = 0;
    // Never throws: a line that cannot be built or delivered is dropped.
    virtual void DebugMessage(uint32_t level, const char* format, ...) __attribute__((format(printf, 3, 4))) = 0;
};

class IDriver : public IDebugMessage {
public:
    virtual const char* GetDriverName() = 0;
    // Directory of the host executable, ending with the path separator.
    virtual const char* GetHostDirectory() = 0;
    virtual DEVICE_INFO* GetDeviceInfo() = 0;
    // Number of digital inputs and outputs given by the host.
    virtual void GetCaptureValues(uint32_t& inputs, uint32_t& outputs) = 0;
    virtual ipcapture::IFrameAllocator* GetHostContext() = 0;
    virtual int32_t GetParameter1Value() = 0;
    virtual uint32_t GetDefaultCodec() = 0;
    virtual uint32_t GetChannelCount() = 0;
    // Empty when missing or "(none)".
    virtual std::string GetParameterString(uint32_t index) = 0;
    // kParameterMissing when missing or not a decimal number.
    virtual int32_t GetParameterInt(uint32_t index) = 0;
    virtual CPtzCapabilities* GetPtzCapabilities() = 0;
    virtual CStreamDefaults* GetStreamDefaults() = 0;
};

}  // namespace korvane
