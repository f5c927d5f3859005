#pragma once
// Reads the SDP body of a DESCRIBE response into the video, audio and
// metadata sections and the video section's codec parameter bytes.
#include <string>

#include "streaming/SdpInfo.h"

namespace korvane {

class CSDPResponseParser {
public:
    CSDPResponseParser() = default;
    virtual ~CSDPResponseParser() = default;

    // An empty body is a valid, empty description.
    bool Parse(const std::string& body);

    SdpInfo m_sdpInfo;

private:
    // Section 0 is the session level, 1 video, 2 audio, 3 metadata.
    SdpMediaInfo* CurrentSection();
    bool HandleMedia(const std::string& line);
    bool HandleConnection(const std::string& line);
    bool HandleControl(const std::string& line);
    bool HandleRtpMap(const std::string& line);
    bool HandleFormatParameters(const std::string& line);
    bool HandleVideoFormatParameters(const std::string& line);

    int m_section = 0;
};

}  // namespace korvane
