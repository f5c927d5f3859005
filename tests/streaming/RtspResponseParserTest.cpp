// RTSP responses and the session descriptions they carry.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "streaming/RTSPClientSettings.h"
#include "streaming/RTSPResponseParser.h"
#include "streaming/SDPResponseParser.h"
#include "support/TestData.h"
#include "StreamTestSupport.h"

namespace korvane::test {
namespace {

using Bytes = std::vector<uint8_t>;

// "port,profile,connection address,encoding,control|" of each section.
std::string Sections(const SdpInfo& info)
{
    std::string text;
    for (const SdpMediaInfo& m : info.media) {
        text += std::to_string(m.port) + "," + m.profile + "," + m.connectionAddress + "," + m.encoding + "," +
                m.control + "|";
    }
    return text;
}

// "protocol status|CSeq|content base|content type|session/time-out|challenge scheme|realm|nonce|content length|"
// and the sections of the description.
std::string Fields(const CRTSPResponseParser& p)
{
    return p.m_protocol + " " + std::to_string(p.m_statusCode) + "|" + std::to_string(p.m_cseq) + "|" +
           p.m_contentBase + "|" + p.m_contentType + "|" + p.m_sessionId + "/" + std::to_string(p.m_sessionTimeoutS) +
           "|" + std::to_string(p.m_challengeScheme) + "|" + p.m_realm + "|" + p.m_nonce + "|" +
           std::to_string(p.m_contentLength) + "|" + Sections(p.m_sdpInfo);
}

const std::map<std::string, uint32_t> kMethods = {
    {"OPTIONS", kRtspOptions}, {"DESCRIBE", kRtspDescribe}, {"SETUP", kRtspSetup}, {"PLAY", kRtspPlay}};

// The responses and fields of tests/data/streaming/response-steps.txt.
TEST(RtspResponseParser, HeadersInTurn)
{
    const std::vector<std::string> lines = ReadTestDataLines("streaming/response-steps.txt");
    std::unique_ptr<CRTSPResponseParser> parser;
    size_t steps = 0;
    for (size_t i = 0; i < lines.size(); ++i, ++steps) {
        if (lines[i] == "new parser") {
            parser = std::make_unique<CRTSPResponseParser>();
            continue;
        }
        SCOPED_TRACE(lines[i]);
        std::istringstream step(lines[i]);
        std::string method, parses, text;
        std::getline(step >> method >> parses >> std::ws, text);
        EXPECT_EQ(parser->Parse(kMethods.at(method), Unescaped(text)), parses == "yes");
        EXPECT_EQ(Fields(*parser), lines.at(++i));
    }
    EXPECT_EQ(steps, 5u + 18u);
}

// The texts of tests/data/streaming/parser-texts.txt.
TEST(RtspResponseParser, RefusesMalformedResponsesAndDescriptions)
{
    const std::vector<std::string> lines = ReadTestDataLines("streaming/parser-texts.txt");
    EXPECT_EQ(lines.size(), 33u);
    for (const std::string& line : lines) {
        SCOPED_TRACE(line.substr(0, 100));
        const size_t blank = std::min(line.find(' '), line.size());
        const std::string kind = line.substr(0, blank);
        const std::string text = Unescaped(line.substr(std::min(blank + 1, line.size())));
        if (kMethods.count(kind) != 0) {
            EXPECT_FALSE(CRTSPResponseParser().Parse(kMethods.at(kind), text));
            continue;
        }
        ASSERT_TRUE(kind == "sdp-accepted" || kind == "sdp-refused");
        EXPECT_EQ(CSDPResponseParser().Parse(text), kind == "sdp-accepted");
    }
}

std::string Hex(const Bytes& bytes)
{
    std::string text;
    for (const uint8_t byte : bytes)
        text += {"0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 15]};
    return text;
}

// The descriptions and sections of tests/data/streaming/descriptions.txt.
TEST(SdpParser, FillsTheSectionsAndParameterSets)
{
    const std::vector<std::string> lines = ReadTestDataLines("streaming/descriptions.txt");
    EXPECT_EQ(lines.size(), 20u);
    for (size_t i = 0; i + 1 < lines.size(); i += 2) {
        SCOPED_TRACE(lines[i]);
        CSDPResponseParser parser;
        EXPECT_TRUE(parser.Parse(Unescaped(lines[i])));
        const SdpInfo& info = parser.m_sdpInfo;
        EXPECT_EQ(Sections(info) + Hex(info.sequenceParameterSet) + "|" + Hex(info.pictureParameterSet) + "|" +
                      Hex(info.config),
                  lines[i + 1]);
    }
}

}  // namespace
}  // namespace korvane::test
