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

const std::string kOk = "RTSP/1.0 200 OK\r\n";

std::string WithBody(const std::string& body)
{
    return kOk + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// "protocol status|CSeq|content base|content type|session/time-out|challenge scheme|realm|nonce"
std::string Fields(const CRTSPResponseParser& p)
{
    return p.m_protocol + " " + std::to_string(p.m_statusCode) + "|" + std::to_string(p.m_cseq) + "|" +
           p.m_contentBase + "|" + p.m_contentType + "|" + p.m_sessionId + "/" + std::to_string(p.m_sessionTimeoutS) +
           "|" + std::to_string(p.m_challengeScheme) + "|" + p.m_realm + "|" + p.m_nonce;
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
    EXPECT_EQ(steps, 4u + 14u);
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

TEST(RtspResponseParser, BodiesAndTruncatedResponses)
{
    CRTSPResponseParser parser;
    const std::string sdp = "v=0\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\na=control:trackID=1\r\n";
    ASSERT_TRUE(parser.Parse(kRtspDescribe, WithBody(sdp)));
    EXPECT_EQ(parser.m_sdpInfo.Video().encoding, "H264/90000");
    EXPECT_EQ(parser.m_sdpInfo.Video().control, "trackID=1");
    // A broken description after another method is not looked at.
    EXPECT_TRUE(parser.Parse(kRtspPlay, WithBody("m=video 0 RTP/AVP 96\r\na=control\r\n")));
    // No blank line: the header section ends where the text ends.
    EXPECT_TRUE(parser.Parse(kRtspOptions, "RTSP/1.0 200 OK\r\nCSeq: 3\r\nSess"));
    EXPECT_EQ(parser.m_cseq, 3u);
    // A body shorter than announced is parsed as far as it goes.
    ASSERT_TRUE(parser.Parse(kRtspDescribe, kOk + "Content-Length: 4000000000\r\n\r\nm=audio 0 RTP/AVP 0\r\n"));
    EXPECT_EQ(parser.m_contentLength, 4000000000u);
    EXPECT_EQ(parser.m_sdpInfo.Audio().profile, "RTP/AVP");
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
        std::string taken;
        for (const SdpMediaInfo& m : parser.m_sdpInfo.media)
            taken += std::to_string(m.port) + "," + m.profile + "," + m.connectionAddress + "," + m.encoding + "," +
                     m.control + "|";
        const SdpInfo& info = parser.m_sdpInfo;
        EXPECT_EQ(taken + Hex(info.sequenceParameterSet) + "|" + Hex(info.pictureParameterSet) + "|" + Hex(info.config),
                  lines[i + 1]);
    }
}

}  // namespace
}  // namespace korvane::test
