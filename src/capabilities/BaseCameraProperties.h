#pragma once
// The camera-independent capability store filled by a camera's discovery and
// read when the findings are handed to the host.
#include <cstdint>
#include <string>

#include "audio/AudioCapabilities.h"
#include "capabilities/StreamCapabilities.h"
#include "driver/DeviceInfo.h"
#include "driver/ResultDef.h"
#include "runtime/Events.h"
#include "tallowcam/CapabilityQuery.h"

namespace korvane {

class CParameterWriter;

class CBaseCameraProperties {
public:
    // videoStandard: 0 for 25 frames per second cameras, otherwise 30. Reads the
    // host core library's version for the host-dependent reporting flags.
    CBaseCameraProperties(const DEVICE_INFO& device, uint32_t videoStandard);
    CBaseCameraProperties(const CBaseCameraProperties&) = delete;
    CBaseCameraProperties& operator=(const CBaseCameraProperties&) = delete;

    // Makes a running Query end at its next step; may be called from any thread.
    virtual void Abort();
    // Adds the frame value of every main-stream frame rate, lowest rate first;
    // false when the main stream has none.
    virtual bool ListFrameRates(ipcapture::IFrameRateList& sink) const;
    // Writes the camera's numbered parameters 1-7; false when the host refused one.
    virtual bool ListProperties(CParameterWriter& list) const = 0;
    virtual ~CBaseCameraProperties() = default;
    // Reads everything the camera offers. On failure, status tells the host why
    // (ipcapture::kCapabilityStatus...); it is left alone on success.
    virtual CResultDef Query(uint32_t& status) = 0;
    virtual std::string GetLastErrorText() const { return {}; }

    // A frame rate in the host's reporting encoding: 1000 for 0, 0x70000000 plus
    // the rate above 30 on hosts from 6.4, otherwise the period in milliseconds.
    uint32_t EncodeFrameRate(uint32_t rate) const;

    const std::string& GetVendor() const { return m_vendor; }
    const std::string& GetModel() const { return m_model; }
    const std::string& GetFirmware() const { return m_firmware; }
    const CAudioCapabilities& GetAudioInput() const { return m_audioInput; }
    const CAudioCapabilities& GetAudioOutput() const { return m_audioOutput; }
    uint32_t GetPtzKind() const { return m_ptzKind; }
    uint32_t GetPtzCount() const { return m_ptzCount; }
    bool IsHighRateHost() const { return m_highRateHost; }
    bool IsMultiStreamHost() const { return m_multiStreamHost; }
    bool HasPtz() const { return m_hasPtz; }
    bool HasHardware() const { return m_hasHardware; }
    bool GetFirstFeature() const { return m_firstFeature; }
    bool GetSecondFeature() const { return m_secondFeature; }
    const DEVICE_INFO& GetDevice() const { return m_device; }
    uint32_t GetVideoStandard() const { return m_videoStandard; }
    uint32_t GetInputCount() const { return m_inputCount; }
    uint32_t GetOutputCount() const { return m_outputCount; }
    uint32_t GetCameraCount() const { return m_cameraCount; }
    uint32_t GetStreamCount() const { return m_streamCount; }
    // group < kStreamGroupCount
    const STREAM_CAPABILITIES& GetStream(uint32_t group) const { return m_streams[group]; }

protected:
    void AddCodec(uint32_t codec, uint32_t group);
    // Ignored for a zero or a more than 16-bit width or height; a known
    // resolution only raises its maximum frame rate.
    void AddResolution(uint32_t width, uint32_t height, uint32_t maxFrameRate, uint32_t group);
    // Offers every rate from 1 to maximum; the default rate stays unset.
    void SetFrameRates(uint32_t group, uint32_t maximum);
    bool IsAbortRequested() const { return m_abortEvent.IsSet(); }

    std::string m_vendor;
    std::string m_model;
    CAudioCapabilities m_audioInput;
    CAudioCapabilities m_audioOutput;
    uint32_t m_ptzKind = 0;  // 0 none, 1 or 2
    uint32_t m_ptzCount = 0;
    bool m_highRateHost = false;     // host 6.4 or later
    bool m_multiStreamHost = false;  // host 6.1 or later
    bool m_hasPtz = false;           // pan and tilt
    bool m_hasHardware = false;      // the hardware line was read
    bool m_firstFeature = false;
    bool m_secondFeature = false;
    DEVICE_INFO m_device;
    uint32_t m_videoStandard;
    CManualEvent m_abortEvent;
    std::string m_firmware;
    uint32_t m_inputCount = 0;
    uint32_t m_outputCount = 0;
    uint32_t m_cameraCount = 0;
    uint32_t m_streamCount = 1;  // at most kStreamGroupCount
    STREAM_CAPABILITIES m_streams[kStreamGroupCount];
};

}  // namespace korvane
