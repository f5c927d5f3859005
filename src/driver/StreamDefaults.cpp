#include "driver/StreamDefaults.h"

#include "driver/ChannelSettings.h"

namespace korvane {

uint32_t ResolutionCode(uint32_t width, uint32_t height)
{
    switch (width) {
    case 320: return height == 240 ? 1 : 7;
    case 480: return 4;
    case 640: return height == 480 ? 2 : 8;
    case 960: return 5;
    case 1280: return height == 960 ? 3 : 9;
    case 1920: return 6;
    default: return 1;
    }
}

CStreamDefaults::CStreamDefaults()
    : m_highResCodes{ResolutionCode(1920, 1080), ResolutionCode(1280, 960), ResolutionCode(1280, 720)}
{
}

void CStreamDefaults::SetPictureSize(const PictureSize& size, const std::string& streamName)
{
    if (streamName.find("Live") != std::string::npos)
        m_liveSize.Store(size);
    else
        m_recSize.Store(size);
}

PictureSize CStreamDefaults::GetPictureSize() const
{
    const PictureSize live = m_liveSize.Load();
    return live.IsKnown() ? live : m_recSize.Load();
}

void CStreamDefaults::ClearPictureSize(uint32_t streamRole)
{
    if (streamRole == kStreamLive)
        m_liveSize.Store(PictureSize());
    else
        m_recSize.Store(PictureSize());
}

}  // namespace korvane
