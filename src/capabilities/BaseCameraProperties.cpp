#include "capabilities/BaseCameraProperties.h"

#include <algorithm>

#include "platform/DynamicLibrary.h"
#include "platform/Process.h"

namespace korvane {

namespace {

bool IsAtLeast(const platform::ModuleVersion& version, uint16_t major, uint16_t minor)
{
    return version.major > major || (version.major == major && version.minor >= minor);
}

}  // namespace

CBaseCameraProperties::CBaseCameraProperties(const DEVICE_INFO& device, uint32_t videoStandard)
    : m_device(device), m_videoStandard(videoStandard)
{
    platform::ModuleVersion host;
    if (platform::LoadedModuleVersion(platform::SharedLibraryFileName("Vexhost"), host)) {
        m_highRateHost = IsAtLeast(host, 6, 4);
        m_multiStreamHost = IsAtLeast(host, 6, 1);
    }
}

void CBaseCameraProperties::Abort()
{
    m_abortEvent.Set();
}

bool CBaseCameraProperties::ListFrameRates(ipcapture::IFrameRateList& sink) const
{
    bool listed = false;
    for (uint32_t rate : m_streams[kMainStreamGroup].frameRates) {
        if (rate == 0)
            continue;
        sink.Add(EncodeFrameRate(rate));
        listed = true;
    }
    return listed;
}

uint32_t CBaseCameraProperties::EncodeFrameRate(uint32_t rate) const
{
    if (rate == 0)
        return 1000;
    if (rate > 30 && m_highRateHost)
        return 0x70000000u + rate;
    return (1000 + rate / 2) / rate;
}

void CBaseCameraProperties::AddCodec(uint32_t codec, uint32_t group)
{
    m_streams[group].codecs.insert(codec);
}

void CBaseCameraProperties::AddResolution(uint32_t width, uint32_t height, uint32_t maxFrameRate, uint32_t group)
{
    if (width == 0 || height == 0 || width > 0xFFFF || height > 0xFFFF)
        return;
    std::vector<STREAM_RESOLUTION>& resolutions = m_streams[group].resolutions;
    auto known = std::find_if(resolutions.begin(), resolutions.end(), [&](const STREAM_RESOLUTION& entry) {
        return entry.width == width && entry.height == height;
    });
    if (known != resolutions.end()) {
        known->maxFrameRate = std::max(known->maxFrameRate, maxFrameRate);
        return;
    }
    resolutions.push_back({static_cast<uint16_t>(width), static_cast<uint16_t>(height), maxFrameRate});
}

void CBaseCameraProperties::SetFrameRates(uint32_t group, uint32_t maximum)
{
    for (uint32_t rate = 1; rate <= maximum; ++rate)
        m_streams[group].frameRates.insert(rate);
}

}  // namespace korvane
