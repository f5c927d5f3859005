#pragma once
// Base of the video payload parsers: RTP sequence check, the frame being
// assembled, the codec parameter bytes of the session description, the
// picture size and the frame buffer limit; and the interface through which a
// parser hands finished frames to its channel.
#include <cstdint>
#include <string>
#include <vector>

#include "tallowcam/HostInterfaces.h"

namespace korvane {

class CRTPPacket;
class IDriver;
struct SdpInfo;

class IMediaParserClient {
public:
    virtual ~IMediaParserClient() = default;
    // False: the frame was refused.
    virtual bool FrameReady(ipcapture::IHostFrame* frame) = 0;
    virtual void GetRequestedSize(uint32_t& width, uint32_t& height) = 0;
    // Valid until the next call.
    virtual const std::string& GetStreamName() = 0;
    virtual void GetFrameTime(uint32_t rtpTimeStamp, SYSTEMTIME& time) = 0;
};

// The host's size class of a picture.
uint32_t FrameSizeClass(uint32_t width, uint32_t height);

// A frame taken from the host's allocator, released when the holder goes.
class CAllocatedFrame {
public:
    CAllocatedFrame(ipcapture::IFrameAllocator* allocator, uint32_t fourCC, uint32_t size, const std::string& streamName);
    ~CAllocatedFrame();
    CAllocatedFrame(const CAllocatedFrame&) = delete;
    CAllocatedFrame& operator=(const CAllocatedFrame&) = delete;

    ipcapture::IHostFrame* Get() const { return m_frame; }
    // The frame's buffer, which holds Size() bytes; null without a frame or a buffer.
    uint8_t* Buffer() const { return m_frame != nullptr ? m_frame->GetBuffer() : nullptr; }
    // The size asked of the allocator, the only bound the host gives for the buffer.
    uint32_t Size() const { return m_size; }

private:
    ipcapture::IFrameAllocator* m_allocator;
    uint32_t m_size;
    ipcapture::IHostFrame* m_frame;
};

class CRTPMediaParser {
public:
    static constexpr size_t kMaxFrameSize = 10485760;

    explicit CRTPMediaParser(IDriver* driver);
    virtual ~CRTPMediaParser();
    CRTPMediaParser(const CRTPMediaParser&) = delete;
    CRTPMediaParser& operator=(const CRTPMediaParser&) = delete;

    virtual void ProcessPacket(const CRTPPacket& packet) = 0;
    // Drops the partial frame and waits for the next key frame.
    virtual void Reset() = 0;
    virtual void SetParameterSets(const SdpInfo& sdp);

    void SetClient(IMediaParserClient* client) { m_client = client; }

protected:
    // Remembers the packet's number; false when it does not follow the previous one.
    bool IsInSequence(const CRTPPacket& packet);
    // True for a second copy of the packet just handled (the network sent it twice).
    bool IsRepeat(const CRTPPacket& packet) const;
    // False (and a log line) when the frame buffer has grown past the limit.
    bool CheckBufferSize();
    void Append(const uint8_t* bytes, size_t length) { m_frameBuffer.insert(m_frameBuffer.end(), bytes, bytes + length); }
    // Records the picture size for the stream in the driver's stream defaults.
    void StorePictureSize(const std::string& streamName);
    // Stamps the frame with its capture time and passes it to the client;
    // false when there is no client or the frame was refused.
    bool HandOver(ipcapture::IHostFrame* frame, uint32_t rtpTimeStamp);
    void SetPictureSizeOn(ipcapture::IHostFrame* frame) const;

    IDriver* m_driver;
    IMediaParserClient* m_client = nullptr;
    std::vector<uint8_t> m_frameBuffer;
    std::vector<uint8_t> m_sequenceParameterSet;
    std::vector<uint8_t> m_pictureParameterSet;
    std::vector<uint8_t> m_config;
    uint32_t m_width = 0;
    uint32_t m_height = 0;

private:
    uint16_t m_lastSequenceNumber = 0;
    bool m_firstPacket = true;
};

}  // namespace korvane
