#include "streaming/RTSPResponseParser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "streaming/RTSPClientSettings.h"
#include "streaming/RTSPTextUtils.h"
#include "streaming/SDPResponseParser.h"

namespace korvane {

using namespace rtsp;

namespace {

enum HeaderCode {
    kHeaderUnknown = 0,
    kHeaderCSeq = 1,
    kHeaderDate = 2,
    kHeaderContentBase = 3,
    kHeaderContentType = 4,
    kHeaderContentLength = 5,
    kHeaderTransport = 6,
    kHeaderSession = 7,
    kHeaderRange = 8,
    kHeaderRtpInfo = 9,
    kHeaderServer = 11,
    kHeaderAcceptRanges = 12,
    kHeaderRtcpInterval = 13,
    kHeaderWwwAuthenticate = 14,
};

HeaderCode HeaderCodeOf(const std::string& name)
{
    static const struct {
        const char* name;
        HeaderCode code;
    } kHeaders[] = {
        {"CSeq", kHeaderCSeq},
        {"Date", kHeaderDate},
        {"Content-Base", kHeaderContentBase},
        {"Content-Type", kHeaderContentType},
        {"Content-Length", kHeaderContentLength},
        {"Transport", kHeaderTransport},
        {"Session", kHeaderSession},
        {"Range", kHeaderRange},
        {"RTP-Info", kHeaderRtpInfo},
        {"Server", kHeaderServer},
        {"Accept-Ranges", kHeaderAcceptRanges},
        {"RTCP-Interval", kHeaderRtcpInterval},
        {"WWW-Authenticate", kHeaderWwwAuthenticate},
    };
    for (const auto& header : kHeaders)
        if (EqualsNoCase(name, header.name))
            return header.code;
    return kHeaderUnknown;
}

// Lines of a response, one after the other. Past the last line end the
// position is lost and every further line is empty.
class CLineReader {
public:
    explicit CLineReader(const std::string& text) : m_text(text) {}

    std::string Next()
    {
        if (m_lost)
            return std::string();
        const size_t end = m_text.find_first_of("\r\n", m_position);
        if (end == std::string::npos) {
            m_lost = true;
            return std::string();
        }
        std::string line = m_text.substr(m_position, end - m_position);
        m_position = end + (m_text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        return line;
    }
    bool Lost() const { return m_lost; }
    size_t Position() const { return m_position; }

private:
    const std::string& m_text;
    size_t m_position = 0;
    bool m_lost = false;
};

// One unsigned value after a lower-case header name, as "name: %lu" scans it.
bool ScanNumber(const std::string& line, const char* format, uint32_t& value)
{
    unsigned long number = 0;
    if (std::sscanf(ToLower(line).c_str(), format, &number) != 1)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

std::string StripQuotes(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
    return text;
}

uint32_t LeadingDecimal(const std::string& text)
{
    uint64_t value = 0;
    for (size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > 0xFFFFFFFFu)
            return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

bool CRTSPResponseParser::Parse(uint32_t method, const std::string& response)
{
    CLineReader lines(response);
    char protocol[128] = {};
    unsigned int status = 0;
    if (std::sscanf(lines.Next().c_str(), "%127s %u ", protocol, &status) != 2)
        return false;
    m_protocol = protocol;
    m_statusCode = status;
    m_contentLength = 0;
    if (status != 200 && status != 401)
        return false;

    for (std::string line = lines.Next(); !line.empty(); line = lines.Next())
        if (!HandleHeader(line))
            return false;

    if (m_contentLength != 0 && lines.Lost())
        return false;
    const std::string body = lines.Lost() ? std::string() : response.substr(lines.Position(), m_contentLength);
    if (method != kRtspDescribe)
        return true;
    CSDPResponseParser sdp;
    if (!sdp.Parse(body))
        return false;
    m_sdpInfo = sdp.m_sdpInfo;
    return true;
}

bool CRTSPResponseParser::HandleHeader(const std::string& line)
{
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon < 2)
        return true;
    switch (HeaderCodeOf(Trim(line.substr(0, colon)))) {
    case kHeaderCSeq:
        return ScanNumber(line, "cseq: %lu", m_cseq);
    case kHeaderContentBase:
        return HandleContentBase(line);
    case kHeaderContentType: {
        char type[256] = {};
        if (std::sscanf(ToLower(line).c_str(), "content-type: %255s", type) != 1)
            return false;
        m_contentType = type;
        return true;
    }
    case kHeaderContentLength:
        return ScanNumber(line, "content-length: %lu", m_contentLength);
    case kHeaderSession:
        HandleSession(line);
        return true;
    case kHeaderWwwAuthenticate:
        return HandleAuthenticate(line);
    default:
        return true;
    }
}

bool CRTSPResponseParser::HandleContentBase(const std::string& line)
{
    const std::string lower = ToLower(line);
    const size_t name = lower.find("content-base:");
    const size_t url = name == std::string::npos ? std::string::npos : lower.find("rtsp://", name);
    if (url == std::string::npos) {
        m_contentBase.clear();
        return false;
    }
    m_contentBase = Trim(line.substr(url));
    return true;
}

void CRTSPResponseParser::HandleSession(const std::string& line)
{
    m_sessionId = ParameterValue(line, "Session:", " ", ";\r\n");
    if (line.find(';') == std::string::npos)
        return;
    const std::string timeout = ParameterValue(line, "timeout", "=", ";\r\n");
    if (timeout.empty())
        return;
    const uint32_t seconds = LeadingDecimal(timeout);
    m_sessionTimeoutS = seconds == 0 ? 30 : seconds;
}

bool CRTSPResponseParser::HandleAuthenticate(const std::string& line)
{
    static const char kName[] = "WWW-Authenticate: ";
    const size_t name = line.find(kName);
    if (name == std::string::npos)
        return false;
    const size_t schemeStart = name + std::strlen(kName);
    const size_t schemeEnd = std::min(line.find_first_of(" \t\r\n", schemeStart), line.size());
    const std::string scheme = line.substr(schemeStart, schemeEnd - schemeStart);
    if (scheme == "Digest")
        m_challengeScheme = kAuthDigest;
    else if (scheme == "Basic")
        m_challengeScheme = kAuthBasic;
    else
        return true;  // an unknown scheme leaves the last recognised challenge as it was
    const std::string parameters = line.substr(schemeEnd);
    m_realm = StripQuotes(Trim(ParameterValue(parameters, "realm", "=", ",\r\n")));
    m_nonce = StripQuotes(Trim(ParameterValue(parameters, "nonce", "=", ",\r\n")));
    return m_challengeScheme != kAuthDigest || (!m_realm.empty() && !m_nonce.empty());
}

}  // namespace korvane
