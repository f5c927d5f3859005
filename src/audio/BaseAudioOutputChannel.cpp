#include "audio/BaseAudioOutputChannel.h"

#include <memory>

#include "driver/IDriver.h"

namespace korvane {

namespace {

const char kThreadName[] = "Base Audio Output Channel";

}  // namespace

CBaseAudioOutputChannel::CBaseAudioOutputChannel(IDriver* driver, uint32_t audioId, uint32_t hostArg1,
                                                 ipcapture::IAudioStateSink* stateSink,
                                                 ipcapture::IAudioFormatList* formatList)
    : CQueueThread<CAudioItem>(driver),
      m_driver(driver),
      m_hostArg1(hostArg1),
      m_audioId(audioId),
      m_stateSink(stateSink),
      m_formatList(formatList)
{
}

CBaseAudioOutputChannel::~CBaseAudioOutputChannel()
{
    Stop();
}

bool CBaseAudioOutputChannel::Open()
{
    CAutoLock guard(m_lock);
    if (IsRunning())
        return false;
    m_retryQueued = false;  // a queue discarded by an earlier Close took its retry along
    if (!Start(kThreadName))
        return false;
    SetState(kOutputOpening);
    return AddItem(std::make_unique<CAudioItem>(kAudioItemPrepare), 0);
}

bool CBaseAudioOutputChannel::Close()
{
    m_stopEvent.Set();
    SetState(kOutputClosing);
    Disconnect();
    CAutoLock guard(m_lock);
    if (!Stop())
        return false;
    SetState(kOutputClosed);
    return true;
}

bool CBaseAudioOutputChannel::SendAudio(ipcapture::IAudioData* frame)
{
    if (IsStopRequested() || frame == nullptr)
        return false;
    ipcapture::IFrameAllocator* allocator = m_driver->GetHostContext();
    if (frame->GetData() == nullptr || frame->GetDataSize() == 0 || allocator == nullptr)
        return false;
    if (!IsMatchingFormat(frame))
        return false;
    // From here the item owns the frame, also when it cannot be queued.
    return AddItem(std::make_unique<CAudioDataItem>(frame, allocator), 0);
}

bool CBaseAudioOutputChannel::IsAllowed(uint32_t from, uint32_t to)
{
    switch (from) {
    case kOutputClosed:
        return to == kOutputOpening;
    case kOutputOpening:
        return to == kOutputReady || to == kOutputClosing || to == kOutputError || to == kOutputRetrying;
    case kOutputReady:
        return to == kOutputClosing || to == kOutputError || to == kOutputRetrying;
    case kOutputClosing:
        return to == kOutputClosed || to == kOutputError;
    case kOutputError:
        return to == kOutputClosed;
    case kOutputRetrying:
        return to == kOutputOpening || to == kOutputClosing;
    default:
        return false;
    }
}

bool CBaseAudioOutputChannel::SetState(uint32_t state)
{
    uint32_t current = m_state;
    do {
        if (!IsAllowed(current, state))
            return false;
    } while (!m_state.compare_exchange_weak(current, state));
    if (m_stateSink != nullptr) {
        try {
            m_stateSink->OnAudioState(m_audioId, state);
        } catch (...) {
        }
    }
    return true;
}

void CBaseAudioOutputChannel::HandleWorkItem(CAudioItem& item)
{
    if (IsStopRequested())
        return;
    switch (item.Type()) {
    case kAudioItemPrepare:
        SelectFormat();
        break;
    case kAudioItemData:
        SendPacket(static_cast<CAudioDataItem&>(item).Frame());
        break;
    case kAudioItemRefresh:
        Retry();
        break;
    default:
        break;
    }
}

void CBaseAudioOutputChannel::SelectFormat()
{
    for (uint32_t index = 0; m_formatList != nullptr && index < m_formatList->GetCount(); ++index) {
        if (IsStopRequested()) {
            SetState(kOutputError);
            return;
        }
        ipcapture::IAudioFormatEntry* entry = m_formatList->GetFormat(index);
        if (entry == nullptr || !entry->IsEnabled() || !IsSupportedFormat(entry))
            continue;
        if (IsStopRequested())
            return;
        if (PrepareCamera())
            SetState(kOutputReady);
        else
            FailAndRetry();
        return;
    }
    SetState(kOutputError);
}

void CBaseAudioOutputChannel::SendPacket(ipcapture::IAudioData* frame)
{
    switch (GetState()) {
    case kOutputReady:
        if (!SendAudioData(frame))
            FailAndRetry();
        break;
    case kOutputRetrying:
        SetState(kOutputOpening);
        if (PrepareCamera() && !IsStopRequested() && SendAudioData(frame))
            SetState(kOutputReady);
        else
            FailAndRetry();
        break;
    default:
        break;  // dropped
    }
}

void CBaseAudioOutputChannel::Retry()
{
    m_retryQueued = false;
    if (GetState() != kOutputRetrying)
        return;
    if (m_stopEvent.Wait(kRetryWaitMs))
        return;
    SetState(kOutputOpening);
    if (PrepareCamera())
        SetState(kOutputReady);
    else
        FailAndRetry();
}

void CBaseAudioOutputChannel::FailAndRetry()
{
    SetState(kOutputRetrying);
    if (!m_retryQueued)
        m_retryQueued = AddItem(std::make_unique<CAudioRefreshItem>(), 0);
}

}  // namespace korvane
