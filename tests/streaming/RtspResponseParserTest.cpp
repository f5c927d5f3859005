#include <gtest/gtest.h>

#include <string>

#include "streaming/RTSPClientSettings.h"
#include "streaming/RTSPResponseParser.h"

using namespace korvane;

namespace {

const std::string kOk = "RTSP/1.0 200 OK\r\n";

}  // namespace

TEST(RtspResponseParser, ReadsStatusCSeqSessionAndContentBase)
{
    CRTSPResponseParser parser;
    ASSERT_TRUE(parser.Parse(kRtspSetup, kOk +
                                             "CSeq: 7\r\n"
                                             "Content-Base: rtsp://cam/stream/ \r\n"
                                             "Session: 4711ABC;timeout=60\r\n"
                                             "Transport: RTP/AVP;unicast\r\n"
                                             "X-Unknown: whatever\r\n\r\n"));
    EXPECT_EQ(parser.m_protocol, "RTSP/1.0");
    EXPECT_EQ(parser.m_statusCode, 200u);
    EXPECT_EQ(parser.m_cseq, 7u);
    EXPECT_EQ(parser.m_contentBase, "rtsp://cam/stream/");
    EXPECT_EQ(parser.m_sessionId, "4711ABC");
    EXPECT_EQ(parser.m_sessionTimeoutS, 60u);
}

TEST(RtspResponseParser, SessionTimeoutZeroMeansThirtyAndAMissingOneKeepsTheEarlier)
{
    CRTSPResponseParser parser;
    ASSERT_TRUE(parser.Parse(kRtspSetup, kOk + "Session: A;timeout=0\r\n\r\n"));
    EXPECT_EQ(parser.m_sessionTimeoutS, 30u);
    ASSERT_TRUE(parser.Parse(kRtspPlay, kOk + "Session: B;timeout=20\r\n\r\n"));
    EXPECT_EQ(parser.m_sessionTimeoutS, 20u);
    ASSERT_TRUE(parser.Parse(kRtspPlay, kOk + "Session: C\r\n\r\n"));
    EXPECT_EQ(parser.m_sessionId, "C");
    EXPECT_EQ(parser.m_sessionTimeoutS, 20u);
    // A value without the blank after the name yields no identifier, and nothing breaks.
    ASSERT_TRUE(parser.Parse(kRtspPlay, kOk + "Session:D;timeout=x\r\n\r\n"));
    EXPECT_EQ(parser.m_sessionId, "");
    EXPECT_EQ(parser.m_sessionTimeoutS, 30u);
}

TEST(RtspResponseParser, OtherStatusFailsWithoutReadingHeaders)
{
    CRTSPResponseParser parser;
    parser.m_cseq = 3;
    EXPECT_FALSE(parser.Parse(kRtspDescribe, "RTSP/1.0 404 Not Found\r\nCSeq: 9\r\n\r\n"));
    EXPECT_EQ(parser.m_statusCode, 404u);
    EXPECT_EQ(parser.m_cseq, 3u);
}

TEST(RtspResponseParser, MalformedStatusLinesFail)
{
    CRTSPResponseParser parser;
    EXPECT_FALSE(parser.Parse(kRtspOptions, ""));
    EXPECT_FALSE(parser.Parse(kRtspOptions, "RTSP/1.0\r\n\r\n"));
    EXPECT_FALSE(parser.Parse(kRtspOptions, "RTSP/1.0 OK 200\r\n\r\n"));
    EXPECT_FALSE(parser.Parse(kRtspOptions, "\r\n\r\n"));
    // A protocol word longer than its 127-character buffer is cut, not overrun.
    EXPECT_TRUE(parser.Parse(kRtspOptions, std::string(127, 'P') + " 200 OK\r\n\r\n"));
    EXPECT_EQ(parser.m_protocol.size(), 127u);
    EXPECT_FALSE(parser.Parse(kRtspOptions, std::string(300, 'P') + " 200 OK\r\n\r\n"));
}

TEST(RtspResponseParser, MalformedHeadersFailTheWholeResponse)
{
    CRTSPResponseParser parser;
    EXPECT_FALSE(parser.Parse(kRtspOptions, kOk + "CSeq: abc\r\n\r\n"));
    EXPECT_FALSE(parser.Parse(kRtspOptions, kOk + "CSeq:\r\n\r\n"));
    EXPECT_FALSE(parser.Parse(kRtspOptions, kOk + "Content-Length: many\r\n\r\n"));
    EXPECT_FALSE(parser.Parse(kRtspOptions, kOk + "Content-Type:\r\n\r\n"));
    parser.m_contentBase = "rtsp://old/";
    EXPECT_FALSE(parser.Parse(kRtspOptions, kOk + "Content-Base: http://cam/\r\n\r\n"));
    EXPECT_EQ(parser.m_contentBase, "");
    EXPECT_FALSE(parser.Parse(kRtspOptions, "RTSP/1.0 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"r\"\r\n\r\n"));
    EXPECT_FALSE(parser.Parse(kRtspOptions, "RTSP/1.0 401 Unauthorized\r\nWWW-Authenticate:Digest\r\n\r\n"));
}

TEST(RtspResponseParser, HeaderNamesAreCaseInsensitiveAndShortNamesIgnored)
{
    CRTSPResponseParser parser;
    ASSERT_TRUE(parser.Parse(kRtspOptions, kOk + "cseq: 12\r\nX: 1\r\n:odd\r\nCONTENT-TYPE: Application/SDP\r\n\r\n"));
    EXPECT_EQ(parser.m_cseq, 12u);
    EXPECT_EQ(parser.m_contentType, "application/sdp");
}

TEST(RtspResponseParser, DigestChallengeIsStoredWithoutQuotes)
{
    CRTSPResponseParser parser;
    ASSERT_TRUE(parser.Parse(kRtspDescribe, "RTSP/1.0 401 Unauthorized\r\nCSeq: 1\r\n"
                                            "WWW-Authenticate: Digest realm=\"Canon Camera\", nonce=\"0a1b2c\", "
                                            "stale=FALSE\r\n\r\n"));
    EXPECT_EQ(parser.m_statusCode, 401u);
    EXPECT_EQ(parser.m_challengeScheme, static_cast<uint32_t>(kAuthDigest));
    EXPECT_EQ(parser.m_realm, "Canon Camera");
    EXPECT_EQ(parser.m_nonce, "0a1b2c");
}

TEST(RtspResponseParser, LastRecognisedChallengeWinsAndUnknownSchemesKeepTheEarlier)
{
    CRTSPResponseParser parser;
    ASSERT_TRUE(parser.Parse(kRtspDescribe, "RTSP/1.0 401 Unauthorized\r\n"
                                            "WWW-Authenticate: Digest realm=\"d\", nonce=\"n\"\r\n"
                                            "WWW-Authenticate: Basic realm=\"b\"\r\n"
                                            "WWW-Authenticate: Negotiate abc\r\n\r\n"));
    EXPECT_EQ(parser.m_challengeScheme, static_cast<uint32_t>(kAuthBasic));
    EXPECT_EQ(parser.m_realm, "b");
    EXPECT_EQ(parser.m_nonce, "");
    ASSERT_TRUE(parser.Parse(kRtspDescribe, "RTSP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic\r\n\r\n"));
    EXPECT_EQ(parser.m_challengeScheme, static_cast<uint32_t>(kAuthBasic));
}

TEST(RtspResponseParser, DescribeBodyIsParsedAsSdp)
{
    const std::string sdp = "v=0\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\na=control:trackID=1\r\n";
    CRTSPResponseParser parser;
    ASSERT_TRUE(parser.Parse(kRtspDescribe, kOk + "Content-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" + sdp));
    EXPECT_EQ(parser.m_sdpInfo.Video().encoding, "H264/90000");
    EXPECT_EQ(parser.m_sdpInfo.Video().control, "trackID=1");

    // The same body after another method is not looked at.
    const std::string broken = "m=video 0 RTP/AVP 96\r\na=control\r\n";
    EXPECT_TRUE(parser.Parse(kRtspPlay, kOk + "Content-Length: " + std::to_string(broken.size()) + "\r\n\r\n" + broken));
    EXPECT_FALSE(
        parser.Parse(kRtspDescribe, kOk + "Content-Length: " + std::to_string(broken.size()) + "\r\n\r\n" + broken));
}

TEST(RtspResponseParser, TruncatedResponses)
{
    CRTSPResponseParser parser;
    // Without any line end there is no status line.
    EXPECT_FALSE(parser.Parse(kRtspOptions, "RTSP/1.0 200 OK"));
    // No blank line: the header section ends where the text ends.
    EXPECT_TRUE(parser.Parse(kRtspOptions, "RTSP/1.0 200 OK\r\nCSeq: 3\r\nSess"));
    EXPECT_EQ(parser.m_cseq, 3u);
    // A body announced but the header section never ends.
    EXPECT_FALSE(parser.Parse(kRtspDescribe, kOk + "Content-Length: 40\r\nCSeq: 2"));
    // A body shorter than announced is parsed as far as it goes.
    ASSERT_TRUE(parser.Parse(kRtspDescribe, kOk + "Content-Length: 4000000000\r\n\r\nm=audio 0 RTP/AVP 0\r\n"));
    EXPECT_EQ(parser.m_contentLength, 4000000000u);
    EXPECT_EQ(parser.m_sdpInfo.Audio().profile, "RTP/AVP");
}

TEST(RtspResponseParser, LineFeedOnlyLineEndsKeepEveryCharacter)
{
    CRTSPResponseParser parser;
    ASSERT_TRUE(parser.Parse(kRtspSetup, "RTSP/1.0 200 OK\nCSeq: 5\nSession: S1\n\n"));
    EXPECT_EQ(parser.m_cseq, 5u);
    EXPECT_EQ(parser.m_sessionId, "S1");
}
