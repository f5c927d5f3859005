#include "driver/IPVideoCapture.h"

#include <cstring>
#include <utility>

#include "driver/IVideoChannelCreator.h"

namespace korvane {

using namespace ipcapture;

namespace {

constexpr const char* kEdgeStorageOption = "EdgeStorageState";
constexpr uint32_t kOptionType16Bit = 2;

// The channel settings a stream request asks for; false when the request is incomplete.
bool SettingsFromRequest(IStreamRequest* request, uint32_t streamNumber, ChannelSettings& settings)
{
    if (request == nullptr)
        return false;
    IStreamRate* rate = request->GetRate();
    IStreamFormat* format = request->GetFormat();
    IResolution* resolution = format != nullptr ? format->GetResolution() : nullptr;
    if (rate == nullptr || resolution == nullptr)
        return false;
    settings.frameRate = static_cast<uint16_t>(rate->GetFrameRate());
    settings.quality = static_cast<uint16_t>(rate->GetQuality());
    settings.width = static_cast<uint16_t>(resolution->GetWidth());
    settings.height = static_cast<uint16_t>(resolution->GetHeight());
    settings.codec = format->GetCodec();
    settings.streamNumber = streamNumber;
    return true;
}

bool IsEdgeStorageOption(const char* name, const void* value, uint32_t type)
{
    return name != nullptr && value != nullptr && type == kOptionType16Bit &&
           std::strcmp(name, kEdgeStorageOption) == 0;
}

}  // namespace

template <typename Action>
bool CIPVideoCapture::WithMainStream(uint32_t index, Action action)
{
    std::shared_ptr<ICameraChannel> channel;
    {
        CAutoLock guard(m_lock);
        if (index < m_entries.size())
            channel = m_entries[index].streams[kStreamRec];
    }
    if (channel == nullptr)
        return false;
    action(*channel);
    return true;
}

CIPVideoCapture::CIPVideoCapture(IVideoChannelCreator* creator, uint32_t channelCount)
    : m_creator(creator), m_entries(channelCount)
{
}

CIPVideoCapture::~CIPVideoCapture()
{
    for (uint32_t index = 0; index < m_entries.size(); ++index)
        StopChannel(index);
}

uint32_t CIPVideoCapture::GetChannelCount()
{
    CAutoLock guard(m_lock);
    return static_cast<uint32_t>(m_entries.size());
}

bool CIPVideoCapture::StartChannel(uint32_t index, IFrameSink* sink, IStreamRequest* request)
{
    if (index >= GetChannelCount())
        return false;
    StopChannel(index);
    CreateEdgeMonitorIfWanted();

    ChannelSettings settings;
    if (!SettingsFromRequest(request, kStreamRec, settings))
        return false;
    std::shared_ptr<ICameraChannel> channel(m_creator->CreateVideoChannel(index, sink, &settings));
    if (channel == nullptr)
        return false;
    channel->SetHostInfo(request->GetHostInfo());
    bool result = channel->Start(settings);

    std::unique_ptr<IMotionChannel> motion;
    if (result && request->GetRate()->IsMotionDetectionWanted() != 0) {
        motion.reset(m_creator->CreateMotionChannel(index, sink));
        result = motion != nullptr && motion->Start();
    }

    ChannelEntry replaced;  // what a concurrent start stored meanwhile
    {
        CAutoLock guard(m_lock);
        ChannelEntry& entry = m_entries[index];
        replaced.streams[kStreamRec] = std::exchange(entry.streams[kStreamRec], std::move(channel));
        replaced.motion = std::exchange(entry.motion, std::move(motion));
        ForgetChannels(replaced);
        WatchChannel(entry.streams[kStreamRec].get());
        WatchChannel(entry.motion.get());
    }
    StopAndDelete(replaced);
    return result;
}

bool CIPVideoCapture::StopChannel(uint32_t index)
{
    ChannelEntry taken;
    {
        CAutoLock guard(m_lock);
        if (index >= m_entries.size())
            return false;
        taken = std::move(m_entries[index]);
        ForgetChannels(taken);
    }
    return StopAndDelete(taken);
}

bool CIPVideoCapture::ChangeChannel(uint32_t index, IResolution* resolution, uint32_t frameRate)
{
    if (resolution == nullptr)
        return false;
    ChannelSettings settings;
    settings.frameRate = frameRate;
    settings.width = static_cast<uint16_t>(resolution->GetWidth());
    settings.height = static_cast<uint16_t>(resolution->GetHeight());
    bool result = false;
    WithMainStream(index, [&](ICameraChannel& channel) { result = channel.ChangeSettings(settings); });
    return result;
}

bool CIPVideoCapture::GetChannelState(uint32_t index, uint32_t* state, uint32_t* extra, char* text, uint32_t length)
{
    if (extra != nullptr)
        *extra = 0;
    if (text != nullptr && length != 0)
        text[0] = '\0';
    if (state == nullptr)
        return false;
    return WithMainStream(index, [&](ICameraChannel& channel) {
        const uint32_t channelState = channel.GetState();
        *state = channelState == kChannelStopped ? kChannelSignalLost : channelState;
    });
}

bool CIPVideoCapture::SetOption(const char* name, void* value, uint32_t type)
{
    if (!IsEdgeStorageOption(name, value, type))
        return false;
    CAutoLock guard(m_lock);
    m_edgeStorage = *static_cast<const uint16_t*>(value) != 0;
    return true;
}

bool CIPVideoCapture::GetOption(const char* name, void* value, uint32_t type)
{
    if (!IsEdgeStorageOption(name, value, type))
        return false;
    CAutoLock guard(m_lock);
    *static_cast<uint16_t*>(value) = m_edgeStorage ? 1 : 0;
    return true;
}

bool CIPVideoCapture::ResumeChannel(uint32_t index)
{
    bool result = false;
    WithMainStream(index, [&](ICameraChannel& channel) { result = channel.Resume(); });
    return result;
}

bool CIPVideoCapture::SuspendChannel(uint32_t index)
{
    bool result = false;
    WithMainStream(index, [&](ICameraChannel& channel) { result = channel.Suspend(); });
    return result;
}

bool CIPVideoCapture::StartStream(uint32_t index, uint32_t streamNumber, IFrameSink* sink, IStreamRequest* request)
{
    if (index >= GetChannelCount() || streamNumber >= kStreamsPerChannel)
        return false;
    StopStream(index, streamNumber);

    ChannelSettings settings;
    if (!SettingsFromRequest(request, streamNumber, settings))
        return false;
    std::shared_ptr<ICameraChannel> channel(m_creator->CreateVideoChannel(index, sink, &settings));
    if (channel == nullptr)
        return false;
    const bool result = channel->Start(settings);

    ChannelEntry replaced;  // what a concurrent start stored meanwhile
    {
        CAutoLock guard(m_lock);
        auto& slot = m_entries[index].streams[streamNumber];
        replaced.streams[streamNumber] = std::exchange(slot, std::move(channel));
        ForgetChannels(replaced);
        WatchChannel(slot.get());
    }
    StopAndDelete(replaced);
    return result;
}

bool CIPVideoCapture::StopStream(uint32_t index, uint32_t streamNumber)
{
    ChannelEntry taken;
    {
        CAutoLock guard(m_lock);
        if (index >= m_entries.size() || streamNumber >= kStreamsPerChannel)
            return false;
        taken.streams[streamNumber] = std::move(m_entries[index].streams[streamNumber]);
        ForgetChannels(taken);
    }
    return StopAndDelete(taken);
}

void CIPVideoCapture::CreateEdgeMonitorIfWanted()
{
    CAutoLock guard(m_lock);
    if (m_edgeStorage && m_edgeMonitor == nullptr)
        m_edgeMonitor.reset(m_creator->CreateEdgeMonitor());
}

void CIPVideoCapture::WatchChannel(IEdgeMonitorChannel* channel)
{
    if (m_edgeMonitor != nullptr && channel != nullptr)
        m_edgeMonitor->AddChannel(channel);
}

void CIPVideoCapture::ForgetChannels(const ChannelEntry& channels)
{
    if (m_edgeMonitor == nullptr)
        return;
    if (channels.motion != nullptr)
        m_edgeMonitor->RemoveChannel(channels.motion.get());
    for (const auto& stream : channels.streams)
        if (stream != nullptr)
            m_edgeMonitor->RemoveChannel(stream.get());
}

bool CIPVideoCapture::StopAndDelete(ChannelEntry& channels)
{
    bool any = false;
    if (channels.motion != nullptr) {
        channels.motion->Stop();
        channels.motion.reset();
        any = true;
    }
    for (uint32_t stream = kStreamsPerChannel; stream-- > 0;) {
        if (channels.streams[stream] != nullptr) {
            channels.streams[stream]->Stop();
            channels.streams[stream].reset();
            any = true;
        }
    }
    return any;
}

}  // namespace korvane
