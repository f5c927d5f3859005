#pragma once
// An audio stream of the camera for the host: the RTSP session of the audio
// track on top of the RTP data channel, the audio channel state the host is
// told about, and the log of the audio signal's health.
#include <atomic>
#include <cstdint>

#include "audio/IAudioChannels.h"
#include "channels/BaseRTPDataChannel.h"
#include "driver/LoggerInstance.h"
#include "runtime/Events.h"
#include "runtime/RecursiveLock.h"
#include "streaming/BaseRTSPClient.h"
#include "streaming/IRTSPClientUser.h"
#include "streaming/RTSPClientSettings.h"

namespace korvane {

// Audio channel states.
enum AudioChannelState : uint32_t {
    kAudioStopped = 0,
    kAudioOpening = 1,
    kAudioRunning = 2,
    kAudioClosing = 3,
    kAudioError = 4,
    kAudioSignalLost = 5,
};

class CBaseAudioRTSPChannel : public CBaseRTPDataChannel,
                              public CLoggerInstance,
                              public IAudioInputChannel,
                              public IRTSPClientUser {
public:
    CBaseAudioRTSPChannel(IDriver* driver, uint32_t channelIndex, uint32_t audioId, ipcapture::IAudioSink* sink);
    ~CBaseAudioRTSPChannel() override;

    // IAudioInputChannel
    bool Open() override;
    bool Close() override;
    uint32_t GetState() override { return m_audioState; }

    // IRTSPClientUser
    void InterleavedPacketReceived(const CRTPPacket& packet) override { InterleavedPacketArrived(packet); }
    void SessionClosed() override { m_sessionClosed.Set(); }

protected:
    // Switches the camera's audio transmission on.
    virtual bool SetAudioStreamParameters() = 0;
    // Server port and path of the audio track.
    virtual void FillStreamSettings(RTSPClientSettings& settings) = 0;

    // False, and the host is not told, when the state table forbids the change.
    bool SetAudioState(uint32_t state);
    // Logs the audio signal's health when it changes.
    void SetDeviceState(bool ok);

    bool ConnectStream() override;
    bool StartUnicastReceivers() override;
    void StopStream() override;
    void RunMulticast() override;
    void Supervise() override {}
    void OnReceiversStarted() override { SetAudioState(kAudioRunning); }
    void OnStreamStopped() override { EnterClosingUnlessRetrying(); }
    void OnSignalLost() override;
    void OnStopped() override;

    uint32_t m_audioId;
    ipcapture::IAudioSink* m_audioSink;
    CBaseRTSPClient m_rtspClient;
    CManualEvent m_sessionClosed;

private:
    static bool IsAllowed(uint32_t from, uint32_t to);
    // A stream stopped between two attempts keeps its state 5.
    void EnterClosingUnlessRetrying();
    RTSPClientSettings SessionSettings();
    bool StartUnicastSession();
    bool StartMulticastSession();
    // One restart of the multicast session; true when the next waits may be long.
    bool RestartMulticast();
    std::string DeviceLabel();

    std::atomic<bool> m_signalOk{false};
    std::atomic<uint32_t> m_audioState{kAudioStopped};
    CRecursiveLock m_openLock;
};

}  // namespace korvane
