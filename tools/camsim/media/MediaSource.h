#pragma once
// Media the simulated camera streams: sample files cut into access units and
// packetised into RTP payloads the way cameras send them.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace camsim {

struct RtpPayload {
    std::vector<uint8_t> bytes;
    bool marker;
};

class IMediaSource {
public:
    virtual ~IMediaSource();
    virtual std::string EncodingName() const = 0;  // e.g. "H264/90000"
    virtual uint8_t PayloadType() const = 0;
    virtual uint32_t ClockRate() const = 0;
    virtual std::string FmtpAttributes() const = 0;  // text after "a=fmtp:<pt> ", empty if none
    virtual std::string MediaType() const = 0;       // "video" or "audio"
    virtual uint32_t FramePeriodMs() const = 0;
    // Next access unit's payloads, looping at the end of the file.
    virtual void NextFrame(std::vector<RtpPayload>& payloads, uint32_t& timestampStep) = 0;
};

enum class MediaCodec { H264, Jpeg, Mpeg4, Pcmu };

enum class H264Packetisation {
    SingleNal,      // packetization-mode 0: one NAL unit per packet, whatever its size
    NonInterleaved  // packetization-mode 1: STAP-A for SPS+PPS, FU-A above the payload limit
};

struct MediaSourceOptions {
    std::string filePath;  // empty: the codec's sample file in the media directory
    size_t maxPayloadSize = 1400;
    H264Packetisation h264Mode = H264Packetisation::NonInterleaved;
    bool h264ParameterSetsInBand = true;  // false: SPS and PPS only in sprop-parameter-sets
    // An access unit smaller than this gets a filler-data NAL unit that brings it up to the size
    // (to stream at a chosen bit rate); 0: as in the file.
    size_t h264MinimumFrameBytes = 0;
    // 1..99: tables scaled from the standard ones; 128..255: tables sent in band.
    uint8_t jpegQ = 255;
    uint16_t jpegRestartInterval = 0;  // MCUs between restart markers (type 64/65); 0: as in the file
    bool mpeg4ConfigInBand = true;  // VOS/VOL headers in front of every I-VOP
};

// Null when the file cannot be read or holds no access unit.
std::unique_ptr<IMediaSource> OpenMediaSource(MediaCodec codec);
std::unique_ptr<IMediaSource> OpenMediaSource(MediaCodec codec, const MediaSourceOptions& options);

}  // namespace camsim
