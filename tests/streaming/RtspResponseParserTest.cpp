// RTSP responses and the session descriptions they carry.
#include <gtest/gtest.h>

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
const std::string kUnauthorised = "RTSP/1.0 401 Unauthorized\r\n";

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

// Each sequence of responses goes to a parser of its own; what a response leaves out keeps its earlier value.
TEST(RtspResponseParser, HeadersInTurn)
{
    struct Step {
        uint32_t method;
        std::string text;
        bool parses;
        std::string fields;
    };
    const std::vector<std::vector<Step>> sequences = {
        {
            {kRtspSetup,
             kOk + "CSeq: 7\r\nContent-Base: rtsp://cam/stream/ \r\nSession: 4711ABC;timeout=60\r\n"
                   "Transport: RTP/AVP;unicast\r\nX-Unknown: whatever\r\n\r\n",
             true, "RTSP/1.0 200|7|rtsp://cam/stream/||4711ABC/60|0||"},
            // Header names are case-insensitive, short names ignored.
            {kRtspOptions, kOk + "cseq: 12\r\nX: 1\r\n:odd\r\nCONTENT-TYPE: Application/SDP\r\n\r\n", true,
             "RTSP/1.0 200|12|rtsp://cam/stream/|application/sdp|4711ABC/60|0||"},
            // Line feeds alone end lines without losing a character.
            {kRtspSetup, "RTSP/1.0 200 OK\nCSeq: 5\nSession: S1\n\n", true,
             "RTSP/1.0 200|5|rtsp://cam/stream/|application/sdp|S1/60|0||"},
        },
        {
            // A time-out of zero means 30 s; a Session header without one keeps the earlier.
            {kRtspSetup, kOk + "Session: A;timeout=0\r\n\r\n", true, "RTSP/1.0 200|0|||A/30|0||"},
            {kRtspPlay, kOk + "Session: B;timeout=20\r\n\r\n", true, "RTSP/1.0 200|0|||B/20|0||"},
            {kRtspPlay, kOk + "Session: C\r\n\r\n", true, "RTSP/1.0 200|0|||C/20|0||"},
            // A value without the blank after the name yields no identifier, and nothing breaks.
            {kRtspPlay, kOk + "Session:D;timeout=x\r\n\r\n", true, "RTSP/1.0 200|0|||/30|0||"},
        },
        {
            {kRtspOptions, kOk + "CSeq: 3\r\nContent-Base: rtsp://old/\r\n\r\n", true,
             "RTSP/1.0 200|3|rtsp://old/||/0|0||"},
            // Another status fails without reading the headers.
            {kRtspDescribe, "RTSP/1.0 404 Not Found\r\nCSeq: 9\r\n\r\n", false,
             "RTSP/1.0 404|3|rtsp://old/||/0|0||"},
            {kRtspOptions, kOk + "Content-Base: http://cam/\r\n\r\n", false, "RTSP/1.0 200|3|||/0|0||"},
            // A protocol word longer than its 127-character buffer is cut, not overrun.
            {kRtspOptions, std::string(127, 'P') + " 200 OK\r\n\r\n", true, std::string(127, 'P') + " 200|3|||/0|0||"},
        },
        {
            // Challenges are stored without quotes.
            {kRtspDescribe,
             kUnauthorised + "CSeq: 1\r\nWWW-Authenticate: Digest realm=\"Canon Camera\", nonce=\"0a1b2c\", "
                             "stale=FALSE\r\n\r\n",
             true, "RTSP/1.0 401|1|||/0|2|Canon Camera|0a1b2c"},
            // The last recognised scheme wins; unknown ones keep the earlier.
            {kRtspDescribe,
             kUnauthorised + "WWW-Authenticate: Digest realm=\"d\", nonce=\"n\"\r\n"
                             "WWW-Authenticate: Basic realm=\"b\"\r\nWWW-Authenticate: Negotiate abc\r\n\r\n",
             true, "RTSP/1.0 401|1|||/0|1|b|"},
            {kRtspDescribe, kUnauthorised + "WWW-Authenticate: Basic\r\n\r\n", true, "RTSP/1.0 401|1|||/0|1||"},
        },
    };
    for (const std::vector<Step>& steps : sequences) {
        CRTSPResponseParser parser;
        for (const Step& step : steps) {
            SCOPED_TRACE(step.text);
            EXPECT_EQ(parser.Parse(step.method, step.text), step.parses);
            EXPECT_EQ(Fields(parser), step.fields);
        }
    }
}

TEST(RtspResponseParser, MalformedResponsesFail)
{
    const std::string cut = "m=video 0 RTP/AVP 96\r\na=control\r\n";
    const struct {
        uint32_t method;
        std::string text;
    } cases[] = {
        {kRtspOptions, ""},
        {kRtspOptions, "RTSP/1.0\r\n\r\n"},
        {kRtspOptions, "RTSP/1.0 OK 200\r\n\r\n"},
        {kRtspOptions, "\r\n\r\n"},
        {kRtspOptions, std::string(300, 'P') + " 200 OK\r\n\r\n"},
        {kRtspOptions, kOk + "CSeq: abc\r\n\r\n"},
        {kRtspOptions, kOk + "CSeq:\r\n\r\n"},
        {kRtspOptions, kOk + "Content-Length: many\r\n\r\n"},
        {kRtspOptions, kOk + "Content-Type:\r\n\r\n"},
        {kRtspOptions, kUnauthorised + "WWW-Authenticate: Digest realm=\"r\"\r\n\r\n"},
        {kRtspOptions, kUnauthorised + "WWW-Authenticate:Digest\r\n\r\n"},
        {kRtspOptions, "RTSP/1.0 200 OK"},                          // no line end: no status line
        {kRtspDescribe, kOk + "Content-Length: 40\r\nCSeq: 2"},     // body announced, headers never end
        {kRtspDescribe, WithBody(cut)},                             // a broken description
    };
    for (const auto& c : cases) {
        CRTSPResponseParser parser;
        EXPECT_FALSE(parser.Parse(c.method, c.text)) << c.text.substr(0, 80);
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

TEST(SdpParser, AcceptsOrRejectsBodies)
{
    const std::string video = "m=video 0 RTP/AVP 96\r\n";
    const struct {
        std::string body;
        bool parses;
    } cases[] = {
        {"", true},
        {"\r\n\r\n\n", true},
        {"m=\r\n", false},
        {"m=   \r\n", false},
        {video + "c=IN IP4\r\n", false},
        {video + "c=IN XX 1.2.3.4\r\n", false},
        {video + "c=IN IP4 /8\r\n", false},
        {video + "c=IN IP6 ff15::1\r\n", true},
        {video + "a=control\r\n", false},
        {video + "a=control:\r\n", false},
        {video + "a=rtpmap:96\r\n", false},
        {video + "a=rtpmap 96 H264/90000\r\n", false},
        {video + "a=fmtp:96 sprop-parameter-sets=Z0IAHpWoKA9puAgICBA=\r\n", false},
        {video + "a=fmtp:96 sprop-parameter-sets=!!,aM48gA==\r\n", false},
        // Longer than 256 bytes once decoded: not taken.
        {video + "a=fmtp:96 sprop-parameter-sets=" + std::string(400, 'A') + ",aM48gA==\r\n", false},
        // Format parameters outside the video section.
        {"a=fmtp:96 config=00\r\n", false},
        {video + "a=fmtp:96 packetization-mode=1\r\n", false},
        {video + "a=fmtp:\r\n", false},
        {"m=audio 0 RTP/AVP 96\r\na=fmtp:96 whatever\r\n", true},
    };
    for (const auto& c : cases) {
        CSDPResponseParser parser;
        EXPECT_EQ(parser.Parse(c.body), c.parses) << c.body.substr(0, 80);
    }
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
