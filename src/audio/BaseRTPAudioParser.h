#pragma once
// Collects the payload of consecutive RTP packets into one-second blocks
// (sampleRate bytes of 8-bit samples) and hands each block to its client as a
// host audio frame. A gap in the sequence numbers drops the part collected.
#include <cstdint>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/IAudioParserClient.h"

namespace korvane {

class CRTPPacket;
class IDriver;

class CBaseRTPAudioParser {
public:
    CBaseRTPAudioParser(IDriver* driver, uint32_t audioId);

    // Ignores a null payload and one below 2 bytes.
    virtual bool AppendPayload(const uint8_t* data, uint32_t size);
    // Allocates, fills and hands over one frame with the collected bytes.
    virtual void ProcessAudioFrame();
    virtual ~CBaseRTPAudioParser() = default;
    virtual void CollectPacket(const CRTPPacket& packet);
    virtual void Reset();

    void SetFormat(const AudioFormat& format) { m_format = format; }
    const AudioFormat& Format() const { return m_format; }
    void SetClient(IAudioParserClient* client) { m_client = client; }

private:
    bool AcceptSequence(uint16_t sequence);
    void FillFrame(ipcapture::IAudioData& frame);

    uint16_t m_lastSequence = 0;
    bool m_firstPacket = true;
    IDriver* m_driver;
    uint32_t m_audioId;
    AudioFormat m_format;
    std::vector<uint8_t> m_buffer;
    IAudioParserClient* m_client = nullptr;
};

}  // namespace korvane
