#pragma once
// Hands the findings of a camera's discovery to the host's result object.
#include <string>

#include "capabilities/BaseCameraProperties.h"
#include "capabilities/ParameterWriter.h"
#include "tallowcam/CapabilityQuery.h"

namespace korvane {

// Capability ids of ICapabilityResult::SetValue.
enum : uint32_t {
    kCapabilityCameraCount = 0,
    kCapabilityPanTilt = 1,
    kCapabilityInputCount = 2,
    kCapabilityOutputCount = 3,
    kCapabilityAudioInputCount = 4,
    kCapabilityHardware = 5,
    kCapabilityMpeg4 = 6,
    kCapabilityJpeg = 7,
    kCapabilityH264 = 8,
    kCapabilityFirstFeature = 11,
    kCapabilitySecondFeature = 12,
    kCapabilityPtzCount = 13,
    kCapabilityPtzKind1 = 14,
    kCapabilityPtzKind2 = 15,
    kCapabilityPtzReserved = 17,
    kCapabilityFurtherStreams = 27,
};

class CCapabilitySaver {
public:
    CCapabilitySaver(const CBaseCameraProperties& properties, ipcapture::ICapabilityResult& result);

    // Writes everything in the host's order; false at the first step that fails.
    bool Save();

    // Texts of the further streams' parameters.
    static std::string CodecListText(const STREAM_CAPABILITIES& stream);
    std::string ResolutionListText(const STREAM_CAPABILITIES& stream) const;
    std::string FrameRateText(const STREAM_CAPABILITIES& stream) const;

private:
    bool SaveDeviceName();
    bool SaveConnectionFields();
    bool SaveCodecs();
    bool SaveResolutions();
    bool SaveFrameRates();
    bool SaveCapabilities();
    bool SaveStreamParameters(uint32_t group, uint32_t firstNumber, const char* streamName);
    bool SaveAudio();

    // The frame value reported for a resolution.
    uint32_t ResolutionFrameValue(const STREAM_CAPABILITIES& stream, const STREAM_RESOLUTION& resolution,
                                  uint32_t withoutRates) const;

    const CBaseCameraProperties& m_properties;
    ipcapture::ICapabilityResult& m_result;
    CParameterWriter m_parameters;
};

}  // namespace korvane
