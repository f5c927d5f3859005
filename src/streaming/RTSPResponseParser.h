#pragma once
// Reads one RTSP response and keeps what later requests need: status, CSeq,
// Content-Base, session, the last authentication challenge and, after
// DESCRIBE, the session description.
#include <cstdint>
#include <string>

#include "streaming/SdpInfo.h"

namespace korvane {

class CRTSPResponseParser {
public:
    CRTSPResponseParser() = default;
    virtual ~CRTSPResponseParser() = default;

    // `method` is an RTSPMethod code. Only status 200 and 401 can succeed;
    // a DESCRIBE also needs a valid description.
    bool Parse(uint32_t method, const std::string& response);
    void ResetDescription() { m_sdpInfo.Reset(); }

    SdpInfo m_sdpInfo;
    std::string m_protocol;
    uint32_t m_statusCode = 0;
    uint32_t m_cseq = 0;  // the client's request counter; each CSeq header overwrites it
    std::string m_contentBase;
    std::string m_contentType;  // lower case
    uint32_t m_contentLength = 0;
    std::string m_sessionId;
    uint32_t m_sessionTimeoutS = 0;  // 0 until a Session header names one
    uint32_t m_challengeScheme = 0;  // RTSPAuthScheme of the last challenge
    std::string m_realm;
    std::string m_nonce;

private:
    bool HandleHeader(const std::string& line);
    bool HandleContentBase(const std::string& line);
    void HandleSession(const std::string& line);
    bool HandleAuthenticate(const std::string& line);
};

}  // namespace korvane
