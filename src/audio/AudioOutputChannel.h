#pragma once
// Audio output to a Canon camera: switches the camera's audio reception on
// and posts every packet to the audio upload path as a chunked body of
// numbered 80-byte pieces; the camera's reply names the session the next
// post continues.
#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/BaseAudioOutputChannel.h"
#include "runtime/HttpSender.h"

namespace korvane {

class CAudioOutputChannel : public CBaseAudioOutputChannel {
public:
    static constexpr uint32_t kPieceBytes = 80;  // 10 ms of sound
    static constexpr uint32_t kFirstPieceNumber = 10;

    // arg1 is kept for the host and not used.
    CAudioOutputChannel(IDriver* driver, uint32_t audioId, uint32_t arg1, ipcapture::IAudioStateSink* stateSink,
                        ipcapture::IAudioFormatList* formatList);
    ~CAudioOutputChannel() override;

    bool GetAudioFormat(ipcapture::IAudioFormat* format) override;

protected:
    bool PrepareCamera() override;
    bool IsSupportedFormat(ipcapture::IAudioFormatEntry* entry) override;
    bool IsMatchingFormat(ipcapture::IAudioData* frame) override;
    bool SendAudioData(ipcapture::IAudioData* frame) override;
    void Disconnect() override;

private:
    // The chunked upload body; ends early when a stop is requested.
    std::vector<uint8_t> BuildBody(const uint8_t* data, uint32_t size);
    std::string UploadPath();

    Web::CHttpSender m_httpSender;
    AudioFormat m_format;
    std::atomic<uint32_t> m_sessionNumber{0};
};

// The session number of an upload reply: the 32-bit big-endian number in the
// piece header that follows the first "6" CR LF; 0 without one.
uint32_t ParseAudioSessionNumber(const std::vector<uint8_t>& reply);

}  // namespace korvane
