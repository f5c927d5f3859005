#pragma once
// Reassembles an MPEG-4 Part 2 visual stream carried in RTP (RFC 3016) into
// whole frames; key frames are measured by the host's header parser library
// or, without it, by the driver's own VOL reader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "streaming/Mpeg4HeaderParser.h"
#include "streaming/RTPMediaParser.h"

namespace korvane {

class CMpeg4RTPMediaParser : public CRTPMediaParser {
public:
    static constexpr uint32_t kFourCCKeyFrame = 0x58564944;    // "DIVX"
    static constexpr uint32_t kFourCCOtherFrame = 0x49564944;  // "DIVI"
    static constexpr const char* kHeaderLibraryBaseName = "Quarnel";

    explicit CMpeg4RTPMediaParser(IDriver* driver,
                                  const std::string& headerLibrary = platform::SharedLibraryFileName(kHeaderLibraryBaseName));

    void ProcessPacket(const CRTPPacket& packet) override;
    void Reset() override;

    // True when the host library supplies the header parser.
    bool UsesHeaderLibrary() const { return m_parseHeader != ParseVideoObjectLayerSize; }

private:
    void HandlePayload(const uint8_t* payload, size_t length, bool marker, uint32_t rtpTimeStamp);
    size_t TakeInBandConfiguration(const uint8_t* payload, size_t length);
    void StartFrame(bool intra);
    void ProcessFrame(uint32_t rtpTimeStamp);

    bool m_waiting = true;
    bool m_keyFrame = false;
    std::vector<uint8_t> m_inBandConfig;
    platform::DynamicLibrary m_headerLibrary;
    ParseMpegHeaderFunction m_parseHeader = ParseVideoObjectLayerSize;
};

}  // namespace korvane
