#pragma once
// Host audio for the camera's loudspeaker: the host's calls only queue work;
// the queue thread selects the format, prepares the camera and sends the
// packets in arrival order, retrying a failing camera every 1.5 s.
#include <atomic>
#include <cstdint>

#include "audio/AudioItems.h"
#include "audio/IAudioChannels.h"
#include "runtime/QueueThread.h"
#include "runtime/RecursiveLock.h"

namespace korvane {

class IDriver;

// Output states.
enum AudioOutputState : uint32_t {
    kOutputClosed = 0,
    kOutputOpening = 1,
    kOutputReady = 2,
    kOutputClosing = 3,
    kOutputError = 4,  // no usable format, or closed while opening
    kOutputRetrying = 5,
};

class CBaseAudioOutputChannel : public CQueueThread<CAudioItem>, public IAudioOutputChannel {
public:
    static constexpr uint32_t kRetryWaitMs = 1500;

    CBaseAudioOutputChannel(IDriver* driver, uint32_t audioId, uint32_t hostArg1,
                            ipcapture::IAudioStateSink* stateSink, ipcapture::IAudioFormatList* formatList);
    ~CBaseAudioOutputChannel() override;

    bool Open() override;
    bool Close() override;
    uint32_t GetState() override { return m_state; }
    bool SendAudio(ipcapture::IAudioData* frame) override;

protected:
    virtual bool PrepareCamera() = 0;
    virtual bool IsSupportedFormat(ipcapture::IAudioFormatEntry* entry) = 0;
    virtual bool IsMatchingFormat(ipcapture::IAudioData* frame) = 0;
    virtual bool SendAudioData(ipcapture::IAudioData* frame) = 0;
    // Ends a request in progress; called from Close on the host's thread.
    virtual void Disconnect() {}

    void HandleWorkItem(CAudioItem& item) override;

    IDriver* m_driver;

private:
    static bool IsAllowed(uint32_t from, uint32_t to);
    bool SetState(uint32_t state);
    void SelectFormat();
    void SendPacket(ipcapture::IAudioData* frame);
    void Retry();
    // Enters state 5 with at most one retry waiting in the queue.
    void FailAndRetry();

    uint32_t m_hostArg1;
    uint32_t m_audioId;
    ipcapture::IAudioStateSink* m_stateSink;
    ipcapture::IAudioFormatList* m_formatList;
    CRecursiveLock m_lock;
    std::atomic<uint32_t> m_state{kOutputClosed};
    bool m_retryQueued = false;  // queue thread only
};

}  // namespace korvane
