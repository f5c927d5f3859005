#include "streaming/SDPResponseParser.h"

#include <cstdint>
#include <vector>

#include "runtime/Base64.h"
#include "streaming/RTSPTextUtils.h"

namespace korvane {

using namespace rtsp;

namespace {

constexpr size_t kMaxParameterBytes = 256;
const char kFormatDelimiters[] = " ;\r\n";

// Base64 up to the first NUL; empty when the result exceeds 256 bytes.
std::vector<uint8_t> DecodeBase64Parameter(const std::string& text)
{
    std::vector<uint8_t> bytes = Base64Decode(text.substr(0, text.find('\0')));
    if (bytes.size() > kMaxParameterBytes)
        bytes.clear();
    return bytes;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

// Two digits per byte; a final single digit gives a byte of its own value.
std::vector<uint8_t> DecodeHex(const std::string& text)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < text.size(); i += 2) {
        if (i + 1 < text.size())
            bytes.push_back(static_cast<uint8_t>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1])));
        else
            bytes.push_back(static_cast<uint8_t>(HexDigit(text[i])));
    }
    return bytes;
}

// Decimal port of a media line; 0 unless all digits, kept to 16 bits.
uint16_t ParsePort(const std::string& word)
{
    if (!IsAllDigits(word))
        return 0;
    uint32_t port = 0;
    for (char c : word)
        port = (port * 10 + static_cast<uint32_t>(c - '0')) & 0xFFFFu;
    return static_cast<uint16_t>(port);
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

bool CSDPResponseParser::Parse(const std::string& body)
{
    m_sdpInfo.Reset();
    m_section = 0;
    size_t position = 0;
    for (;;) {
        position = body.find_first_not_of("\r\n", position);
        if (position == std::string::npos)
            return true;
        const size_t end = body.find_first_of("\r\n", position);
        const std::string line = body.substr(position, end == std::string::npos ? std::string::npos : end - position);
        position = end;

        const std::string lower = ToLower(line);
        bool handled = true;
        if (StartsWith(lower, "m="))
            handled = HandleMedia(line);
        else if (StartsWith(lower, "c=in"))
            handled = HandleConnection(line);
        else if (StartsWith(lower, "a=control"))
            handled = HandleControl(line);
        else if (StartsWith(lower, "a=fmtp"))
            handled = HandleFormatParameters(line);
        else if (StartsWith(lower, "a=rtpmap"))
            handled = HandleRtpMap(line);
        if (!handled)
            return false;
        if (end == std::string::npos)
            return true;
    }
}

SdpMediaInfo* CSDPResponseParser::CurrentSection()
{
    return m_section >= 1 && m_section <= 3 ? &m_sdpInfo.media[m_section - 1] : nullptr;
}

bool CSDPResponseParser::HandleMedia(const std::string& line)
{
    const std::vector<std::string> words = SplitWords(line.substr(2), ' ');
    if (words.empty())
        return false;
    const std::string kind = ToLower(words[0]);
    if (kind == "video")
        m_section = 1;
    else if (kind == "audio")
        m_section = 2;
    else if (kind == "metadata" || kind == "data" || kind == "application")
        m_section = 3;
    else
        m_section = 0;
    SdpMediaInfo* section = CurrentSection();
    if (section != nullptr && words.size() >= 3) {
        section->port = ParsePort(words[1]);
        section->profile = words[2];
    }
    return true;
}

bool CSDPResponseParser::HandleConnection(const std::string& line)
{
    const std::vector<std::string> words = SplitWords(line.substr(2), ' ');
    if (words.size() < 3 || words[0] != "IN")
        return false;
    if (words[1] == "IP6")
        return true;
    if (words[1] != "IP4")
        return false;
    const std::string address = words[2].substr(0, words[2].find('/'));
    if (SdpMediaInfo* section = CurrentSection())
        section->connectionAddress = address;
    return !address.empty();
}

bool CSDPResponseParser::HandleControl(const std::string& line)
{
    static const size_t kPrefixLength = sizeof("a=control:") - 1;
    if (line.size() < kPrefixLength || line[kPrefixLength - 1] != ':')
        return false;
    const std::string control = line.substr(kPrefixLength);
    if (SdpMediaInfo* section = CurrentSection())
        section->control = control;
    return !control.empty();
}

bool CSDPResponseParser::HandleRtpMap(const std::string& line)
{
    const size_t colon = line.find(':');
    if (colon == std::string::npos)
        return false;
    const std::vector<std::string> words = SplitWords(line.substr(colon + 1), ' ');
    if (words.size() < 2)
        return false;
    if (SdpMediaInfo* section = CurrentSection())
        section->encoding = words[1];
    return true;
}

bool CSDPResponseParser::HandleFormatParameters(const std::string& line)
{
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon + 1 >= line.size())
        return false;
    switch (m_section) {
    case 1:
        return HandleVideoFormatParameters(line);
    case 2:
    case 3:
        return true;
    default:
        return false;
    }
}

bool CSDPResponseParser::HandleVideoFormatParameters(const std::string& line)
{
    const std::string parameterSets = ParameterValue(line, "sprop-parameter-sets", "=", kFormatDelimiters);
    if (!parameterSets.empty()) {
        const std::vector<std::string> sets = SplitWords(parameterSets, ',');
        if (sets.size() >= 2) {
            m_sdpInfo.sequenceParameterSet = DecodeBase64Parameter(sets[0]);
            m_sdpInfo.pictureParameterSet = DecodeBase64Parameter(sets[1]);
        }
        return !m_sdpInfo.sequenceParameterSet.empty() && !m_sdpInfo.pictureParameterSet.empty();
    }
    const std::string config = ParameterValue(line, "config", "=", kFormatDelimiters);
    if (config.empty())
        return false;
    m_sdpInfo.config = config.find('=') != std::string::npos ? DecodeBase64Parameter(config) : DecodeHex(config);
    return !m_sdpInfo.config.empty();
}

}  // namespace korvane
