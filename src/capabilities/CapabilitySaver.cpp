#include "capabilities/CapabilitySaver.h"

#include "runtime/StringFormat.h"

namespace korvane {

namespace {

// Frame values used for a stream without frame rates.
constexpr uint32_t kFrameValue25 = 40;
constexpr uint32_t kFrameValue30 = 33;

std::string Join(const std::vector<std::string>& items)
{
    std::string joined;
    for (const std::string& item : items) {
        if (!joined.empty())
            joined += ',';
        joined += item;
    }
    return joined;
}

const char* CodecName(uint32_t codec)
{
    switch (codec) {
    case kCapabilityCodecH264:
        return "h264";
    case kCapabilityCodecMpeg4:
        return "mpeg";
    case kCapabilityCodecJpeg:
        return "jpeg";
    default:
        return nullptr;
    }
}

}  // namespace

CCapabilitySaver::CCapabilitySaver(const CBaseCameraProperties& properties, ipcapture::ICapabilityResult& result)
    : m_properties(properties), m_result(result), m_parameters(result)
{
}

bool CCapabilitySaver::Save()
{
    return SaveDeviceName() && SaveConnectionFields() && SaveCodecs() && SaveResolutions() && SaveFrameRates() &&
           SaveCapabilities() && m_properties.ListProperties(m_parameters);
}

bool CCapabilitySaver::SaveDeviceName()
{
    if (m_properties.GetModel().empty())
        return false;
    std::string name = m_properties.GetModel();
    if (!m_properties.GetVendor().empty())
        name = m_properties.GetVendor() + " " + name;
    m_result.SetDeviceName(name.c_str());
    return true;
}

bool CCapabilitySaver::SaveConnectionFields()
{
    const DEVICE_INFO& device = m_properties.GetDevice();
    const std::string fields[] = {device.address, FormatString("%hu", static_cast<uint16_t>(device.port)),
                                  device.userName, device.password};
    for (uint32_t index = 1; index <= 4; ++index) {
        ipcapture::ICapabilityField* field = m_result.GetConnectionField(index);
        if (field == nullptr)
            return false;
        field->SetText(fields[index - 1].c_str());
    }
    return true;
}

bool CCapabilitySaver::SaveCodecs()
{
    const std::set<uint32_t>& codecs = m_properties.GetStream(kMainStreamGroup).codecs;
    if (codecs.count(kCapabilityCodecH264))
        m_result.SetValue(kCapabilityH264, 1);
    if (codecs.count(kCapabilityCodecMpeg4))
        m_result.SetValue(kCapabilityMpeg4, 1);
    if (codecs.count(kCapabilityCodecJpeg))
        m_result.SetValue(kCapabilityJpeg, 1);
    if (codecs.empty() || m_properties.GetCameraCount() == 0)
        return false;
    m_result.SetValue(kCapabilityCameraCount, m_properties.GetCameraCount());
    return true;
}

bool CCapabilitySaver::SaveResolutions()
{
    const STREAM_CAPABILITIES& stream = m_properties.GetStream(kMainStreamGroup);
    const uint32_t withoutRates = m_properties.GetVideoStandard() == 0 ? kFrameValue25 : kFrameValue30;
    for (const STREAM_RESOLUTION& resolution : stream.resolutions) {
        ipcapture::IResolutionList* list = m_result.GetResolutionList();
        if (list == nullptr)
            return false;
        const std::string text = FormatString("%ux%u", resolution.width, resolution.height);
        list->Add(text.c_str(), resolution.width, resolution.height,
                  ResolutionFrameValue(stream, resolution, withoutRates));
    }
    return true;
}

bool CCapabilitySaver::SaveFrameRates()
{
    ipcapture::IFrameRateList* list = m_result.GetFrameRateList(1);
    return list != nullptr && m_properties.ListFrameRates(*list);
}

bool CCapabilitySaver::SaveCapabilities()
{
    const CBaseCameraProperties& p = m_properties;
    if (p.HasPtz())
        m_result.SetValue(kCapabilityPanTilt, 1);
    if (p.HasHardware())
        m_result.SetValue(kCapabilityHardware, 1);
    m_result.SetValue(kCapabilityFirstFeature, p.GetFirstFeature() ? 1 : 0);
    m_result.SetValue(kCapabilitySecondFeature, p.GetSecondFeature() ? 1 : 0);
    if (p.GetInputCount() != 0)
        m_result.SetValue(kCapabilityInputCount, p.GetInputCount());
    if (p.GetOutputCount() != 0)
        m_result.SetValue(kCapabilityOutputCount, p.GetOutputCount());
    if (p.GetPtzKind() == 1 || p.GetPtzKind() == 2) {
        m_result.SetValue(kCapabilityPtzCount, p.GetPtzCount());
        m_result.SetValue(p.GetPtzKind() == 1 ? kCapabilityPtzKind1 : kCapabilityPtzKind2, 1);
        m_result.SetValue(kCapabilityPtzReserved, 0);
    }
    const bool furtherStreams = p.GetStreamCount() > 1 && p.IsMultiStreamHost();
    if (furtherStreams)
        m_result.SetValue(kCapabilityFurtherStreams, p.GetStreamCount() - 1);
    if (furtherStreams && !SaveStreamParameters(kLiveStreamGroup, 120, "Live Stream"))
        return false;
    if (furtherStreams && p.GetStreamCount() > 2 && !SaveStreamParameters(kRemoteStreamGroup, 124, "Remote Stream"))
        return false;
    return SaveAudio();
}

bool CCapabilitySaver::SaveStreamParameters(uint32_t group, uint32_t firstNumber, const char* streamName)
{
    const STREAM_CAPABILITIES& stream = m_properties.GetStream(group);
    const std::string codecs = FormatString("%s: Supported Codecs", streamName);
    const std::string resolutions = FormatString("%s: Supported Resolutions", streamName);
    const std::string frameRates = FormatString("%s: Supported Framerates", streamName);
    return m_parameters.WriteText(firstNumber, codecs.c_str(), CodecListText(stream)) &&
           m_parameters.WriteText(firstNumber + 1, resolutions.c_str(), ResolutionListText(stream)) &&
           m_parameters.WriteText(firstNumber + 2, frameRates.c_str(), FrameRateText(stream));
}

bool CCapabilitySaver::SaveAudio()
{
    const CAudioCapabilities& input = m_properties.GetAudioInput();
    const CAudioCapabilities& output = m_properties.GetAudioOutput();
    if (input.m_channelCount != 0) {
        m_result.SetValue(kCapabilityAudioInputCount, input.m_channelCount);
        if (!m_parameters.WriteText(101, "Audio Input Parameters", input.ToString()))
            return false;
    }
    if (output.m_channelCount != 0 && !m_parameters.WriteText(102, "Audio Output Parameters", output.ToString()))
        return false;
    return true;
}

std::string CCapabilitySaver::CodecListText(const STREAM_CAPABILITIES& stream)
{
    std::vector<std::string> names;
    for (uint32_t codec : stream.codecs)
        if (const char* name = CodecName(codec))
            names.emplace_back(name);
    return Join(names);
}

std::string CCapabilitySaver::ResolutionListText(const STREAM_CAPABILITIES& stream) const
{
    std::vector<std::string> entries;
    for (const STREAM_RESOLUTION& resolution : stream.resolutions)
        if (resolution.width != 0 && resolution.height != 0)
            entries.push_back(FormatString("%ux%u:%u", resolution.width, resolution.height,
                                           ResolutionFrameValue(stream, resolution, kFrameValue25)));
    return Join(entries);
}

std::string CCapabilitySaver::FrameRateText(const STREAM_CAPABILITIES& stream) const
{
    std::vector<std::string> values;
    for (uint32_t rate : stream.frameRates)
        if (rate != 0)
            values.push_back(FormatString("%u", m_properties.EncodeFrameRate(rate)));
    if (values.empty())
        return {};
    const uint32_t defaultRate = stream.defaultFrameRate != 0 ? stream.defaultFrameRate : stream.HighestFrameRate();
    return FormatString("values=%s;default=%u", Join(values).c_str(), m_properties.EncodeFrameRate(defaultRate));
}

uint32_t CCapabilitySaver::ResolutionFrameValue(const STREAM_CAPABILITIES& stream,
                                                const STREAM_RESOLUTION& resolution, uint32_t withoutRates) const
{
    if (resolution.maxFrameRate != 0)
        return m_properties.EncodeFrameRate(resolution.maxFrameRate);
    if (stream.frameRates.empty())
        return withoutRates;
    return m_properties.EncodeFrameRate(stream.HighestFrameRate());
}

}  // namespace korvane
