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

namespace korvane::test {
namespace {

using Bytes = std::vector<uint8_t>;

const std::string kOk = "RTSP/1.0 200 OK\r\n";

std::string WithBody(const std::string& body)
{
    return kOk + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The text of tests/data with the escapes \r and \n replaced by CR and LF.
std::string Unescaped(const std::string& text)
{
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool escape = text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'r' || text[i + 1] == 'n');
        result += escape ? (text[++i] == 'r' ? '\r' : '\n') : text[i];
    }
    return result;
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

SdpInfo ParseOk(const std::string& body)
{
    CSDPResponseParser parser;
    EXPECT_TRUE(parser.Parse(body)) << body;
    return parser.m_sdpInfo;
}

TEST(SdpParser, FillsTheThreeSections)
{
    // Lines end with CR LF.
    std::string text = ReadTestData("streaming/three-sections.sdp");
    for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2)
        text.insert(at, "\r");
    const SdpInfo info = ParseOk(text + "\r\n");
    EXPECT_EQ(info.Video().port, 5000);
    EXPECT_EQ(info.Video().profile, "RTP/AVP");
    EXPECT_EQ(info.Video().connectionAddress, "239.1.2.3");
    EXPECT_EQ(info.Video().encoding, "H264/90000");
    EXPECT_EQ(info.Video().control, "trackID=1");
    EXPECT_EQ(info.Audio().port, 5002);
    EXPECT_EQ(info.Audio().encoding, "PCMU/8000");
    EXPECT_EQ(info.Audio().control, "rtsp://cam/audio");
    EXPECT_EQ(info.Audio().connectionAddress, "");
    EXPECT_EQ(info.media[SdpInfo::kMetadata].control, "trackID=3");

    // Session-level lines only: no section takes the connection address.
    const SdpInfo sessionOnly = ParseOk("v=0\r\no=- 1 1 IN IP4 1.2.3.4\r\ns=x\r\nc=IN IP4 1.2.3.4\r\n");
    for (const SdpMediaInfo& section : sessionOnly.media)
        EXPECT_EQ(section.connectionAddress, "");
}

TEST(SdpParser, MediaLines)
{
    EXPECT_EQ(ParseOk("m=video 5000/2 RTP/AVP 96\r\n").Video().port, 0);
    EXPECT_EQ(ParseOk("m=video 70000 RTP/AVP 96\r\n").Video().port, 70000 & 0xFFFF);
    EXPECT_EQ(ParseOk("m=video 0\r\n").Video().profile, "");
    // An unknown media kind goes back to session level: its lines are not kept.
    const SdpInfo info = ParseOk("m=video 1 RTP/AVP 96\r\nm=text 2 RTP/AVP 98\r\na=control:x\r\n");
    EXPECT_EQ(info.Video().control, "");
}

TEST(SdpParser, ParameterSetsAndConfig)
{
    const SdpInfo info = ParseOk(
        "m=video 0 RTP/AVP 96\r\n"
        "a=fmtp:96 packetization-mode=1;sprop-parameter-sets=Z0IAHpWoKA9puAgICBA=,aM48gA==,AAAA;"
        "profile-level-id=42001e\r\n");
    EXPECT_EQ(info.sequenceParameterSet,
              (Bytes{0x67, 0x42, 0x00, 0x1E, 0x95, 0xA8, 0x28, 0x0F, 0x69, 0xB8, 0x08, 0x08, 0x08, 0x10}));
    EXPECT_EQ(info.pictureParameterSet, (Bytes{0x68, 0xCE, 0x3C, 0x80}));
    // MPEG-4 configuration in hexadecimal or Base64.
    const struct {
        const char* fmtp;
        Bytes config;
    } configs[] = {
        {"profile-level-id=1;config=000001B0F5", {0x00, 0x00, 0x01, 0xB0, 0xF5}},
        {"config=abc", {0xAB, 0x0C}},
        {"config=AAABsA==", {0x00, 0x00, 0x01, 0xB0}},
    };
    for (const auto& c : configs)
        EXPECT_EQ(ParseOk(std::string("m=video 0 RTP/AVP 96\r\na=fmtp:96 ") + c.fmtp + "\r\n").config, c.config);
}

}  // namespace
}  // namespace korvane::test
