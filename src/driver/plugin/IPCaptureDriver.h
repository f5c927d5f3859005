#pragma once
// Framework part of the driver object: takes what the host hands to Open,
// owns the objects the host then drives, and offers the driver services
// (IDriver) to every channel, PTZ, I/O and audio object.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "driver/DeviceInfo.h"
#include "driver/IAudioChannelCreator.h"
#include "driver/IDriver.h"
#include "driver/IVideoChannelCreator.h"
#include "platform/Process.h"
#include "ptz/BasePTZHandler.h"
#include "tallowcam/HostInterfaces.h"

namespace korvane {

class CIPAudioCapture;
class CIPAudioSender;
class CIPVideoCapture;

// Owner of an object whose interface its own subsystem declares: the code
// that creates the object supplies the deleter.
template <typename T>
using TOwnedPtr = std::unique_ptr<T, void (*)(T*)>;

class CIPCaptureDriver : public ipcapture::IIPCaptureDriverEx5,
                         public IDriver,
                         public IVideoChannelCreator,
                         public IAudioChannelCreator {
public:
    CIPCaptureDriver();
    ~CIPCaptureDriver() override;
    TALLOWCAM_DELETING_DESTRUCTOR
    CIPCaptureDriver(const CIPCaptureDriver&) = delete;
    CIPCaptureDriver& operator=(const CIPCaptureDriver&) = delete;

    // ---- IIPCaptureDriver family
    bool Open(ipcapture::IDebugInfoSink* logSink, ipcapture::IFrameAllocator* hostContext,
              ipcapture::IDriverParams* params) override;
    // Deletes the owned objects; harmless when repeated.
    void Close() override;
    ipcapture::IIPVideoCapture* GetVideoCapture() override;
    ICaptureIOApi* GetIOApi() override { return m_ioApi.get(); }
    void* Reserved5() override { return nullptr; }
    IIPPTZDriver* GetPTZDriver() override { return m_ptzHandler.get(); }
    void* Reserved7() override { return nullptr; }
    ipcapture::IIPVideoCaptureEx* GetVideoCaptureEx() override;
    IIPPTZDriverEx* GetPTZDriverEx() override { return m_ptzHandler.get(); }
    ipcapture::IIPAudioCapture2* GetAudioCapture() override;
    ipcapture::IIPAudioSender* GetAudioSender() override;
    ipcapture::IIPVideoCaptureEx2* GetVideoCaptureEx2() override;

    // Each creates its object once; true when it exists.
    virtual bool CreateIOApi() = 0;
    virtual bool CreatePTZDriver() = 0;
    virtual void LogDriverOpened(const std::string& firmware);

    // ---- IDriver
    const char* GetDeviceName() override { return m_deviceName.c_str(); }
    void DebugMessage(uint32_t level, const char* format, ...) override __attribute__((format(printf, 3, 4)));
    const char* GetHostDirectory() override { return m_hostDirectory.c_str(); }
    DEVICE_INFO* GetDeviceInfo() override { return &m_deviceInfo; }
    void GetCaptureValues(uint32_t& inputs, uint32_t& outputs) override;
    ipcapture::IFrameAllocator* GetHostContext() override { return m_hostContext; }
    int32_t GetParameter1Value() override { return m_parameter1Value; }
    uint32_t GetDefaultCodec() override { return m_defaultCodec; }
    uint32_t GetChannelCount() override { return m_channelCount; }
    std::string GetParameterString(uint32_t index) override;
    int32_t GetParameterInt(uint32_t index) override;

protected:
    // Major, minor, third and fourth part of the host core library's version.
    void SetHostVersion(const platform::ModuleVersion& version) { m_hostVersion = version; }
    void SetParameter1Value(int32_t value) { m_parameter1Value = value; }

    // Made by CreateIOApi and CreatePTZDriver.
    TOwnedPtr<ICaptureIOApi> m_ioApi{nullptr, nullptr};
    std::unique_ptr<CBasePTZHandler> m_ptzHandler;

private:
    bool ReadHostParameters(ipcapture::IDriverParams* params);
    void ReadHostEnvironment();
    bool CreateAudioAdapters(ipcapture::IDriverParams* params);
    uint8_t HostLogLevel(uint32_t level) const;

    ipcapture::IDebugInfoSink* m_logSink = nullptr;
    ipcapture::IFrameAllocator* m_hostContext = nullptr;
    std::map<uint32_t, std::string> m_parameters;
    platform::ModuleVersion m_hostVersion;
    std::string m_hostDirectory;
    DEVICE_INFO m_deviceInfo;
    std::string m_deviceName;
    uint32_t m_inputCount = 0;
    uint32_t m_outputCount = 0;
    uint32_t m_channelCount = 0;
    uint32_t m_defaultCodec = 0;
    int32_t m_parameter1Value = 0;
    std::unique_ptr<CIPVideoCapture> m_videoCapture;
    std::unique_ptr<CIPAudioCapture> m_audioCapture;
    std::unique_ptr<CIPAudioSender> m_audioSender;
};

}  // namespace korvane
