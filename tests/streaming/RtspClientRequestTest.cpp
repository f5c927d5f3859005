#include <gtest/gtest.h>

#include <string>

#include "runtime/Md5.h"
#include "streaming/BaseRTSPClient.h"
#include "support/FakeDriver.h"

using namespace korvane;

namespace {

// Exposes the request texts of a client that is configured but not connected.
class RequestClient : public CBaseRTSPClient {
public:
    explicit RequestClient(IDriver* driver) : CBaseRTSPClient(driver) {}
    using CBaseRTSPClient::BuildRequest;
    using CBaseRTSPClient::Configure;
    using CBaseRTSPClient::MutableResponse;
};

class RtspClientRequests : public ::testing::Test {
protected:
    RtspClientRequests() : client(&driver)
    {
        settings.address = "cam";
        settings.path = "//live";
        client.Configure(settings, RTSPTransportMode::UDP);
    }

    void Reconfigure(RTSPTransportMode mode = RTSPTransportMode::UDP) { client.Configure(settings, mode); }
    SdpMediaInfo& Video() { return client.MutableResponse().m_sdpInfo.media[SdpInfo::kVideo]; }
    std::string Line(uint32_t method, const std::string& name)
    {
        const std::string text = client.BuildRequest(method);
        const size_t at = text.find("\r\n" + name + ": ");
        return at == std::string::npos ? std::string() : text.substr(at + 2, text.find("\r\n", at + 2) - at - 2);
    }

    test::FakeDriver driver;
    RTSPClientSettings settings;
    RequestClient client;
};

}  // namespace

TEST_F(RtspClientRequests, BaseUrlAndKeepAliveBasis)
{
    EXPECT_EQ(client.BaseUrl(), "rtsp://cam:554/live");
    client.MutableResponse().m_contentBase = "http://not-rtsp/";
    EXPECT_EQ(client.BaseUrl(), "rtsp://cam:554/live");
    client.MutableResponse().m_contentBase = "rtsp://cam/stream/";
    EXPECT_EQ(client.BaseUrl(), "rtsp://cam/stream/");
    // The keep-alive basis is the session time-out or the default.
    EXPECT_EQ(client.SessionTimeoutS(), 60u);
    client.MutableResponse().m_sessionTimeoutS = 20;
    EXPECT_EQ(client.SessionTimeoutS(), 20u);
}

TEST_F(RtspClientRequests, SetupUrlJoinsContentBaseAndControl)
{
    client.MutableResponse().m_contentBase = "rtsp://cam/stream/";
    Video().control = "trackID=1";
    EXPECT_EQ(client.SetupUrl(), "rtsp://cam/stream/trackID=1");
    Video().control = "/trackID=1";
    EXPECT_EQ(client.SetupUrl(), "rtsp://cam/stream/trackID=1");
    Video().control = "rtsp://other/track";
    EXPECT_EQ(client.SetupUrl(), "rtsp://other/track");
    Video().control = "";
    EXPECT_EQ(client.SetupUrl(), "rtsp://cam/stream/");
    settings.mediaSelector = kSelectAudio;
    Reconfigure();
    client.MutableResponse().m_sdpInfo.media[SdpInfo::kAudio].control = "trackID=2";
    EXPECT_EQ(client.SetupUrl(), "rtsp://cam/stream/trackID=2");
    settings.mediaSelector = 9;
    Reconfigure();
    EXPECT_EQ(client.SetupUrl(), "rtsp://cam/stream/");
}

TEST_F(RtspClientRequests, TransportHeaderFollowsModeAndSectionAndBlocksizeOnlyAbove100)
{
    settings.clientRtpPort = 3556;
    settings.clientRtcpPort = 3557;
    Reconfigure();
    EXPECT_EQ(Line(kRtspSetup, "Transport"), "Transport: RTP/AVP/UDP;unicast;client_port=3556-3557");
    Video().port = 5000;
    EXPECT_EQ(Line(kRtspSetup, "Transport"), "Transport: RTP/AVP/UDP;multicast;client_port=5000-5001");
    Reconfigure(RTSPTransportMode::TCP);
    EXPECT_EQ(Line(kRtspSetup, "Transport"), "Transport: RTP/AVP/TCP;unicast;client_port=3556-3557");
    Reconfigure(RTSPTransportMode::Interleaved);
    EXPECT_EQ(Line(kRtspSetup, "Transport"), "Transport: RTP/AVP/TCP;unicast;interleaved=0-1");
    Video().profile = "RTP/SAVP";
    EXPECT_EQ(Line(kRtspSetup, "Transport"), "Transport: RTP/SAVP;unicast;interleaved=0-1");

    // Blocksize only above 100.
    settings.blockSize = 100;
    Reconfigure();
    EXPECT_EQ(Line(kRtspSetup, "Blocksize"), "");
    settings.blockSize = 101;
    Reconfigure();
    EXPECT_EQ(Line(kRtspSetup, "Blocksize"), "Blocksize: 101");
}

TEST_F(RtspClientRequests, RequestTextsAndCSeq)
{
    client.MutableResponse().m_cseq = 41;
    client.MutableResponse().m_sessionId = "S9";
    EXPECT_EQ(client.BuildRequest(kRtspDescribe),
              "DESCRIBE rtsp://cam:554/live RTSP/1.0\r\nCSeq: 42\r\nUser-Agent: Korvane\r\n"
              "Accept: application/sdp\r\n\r\n");
    EXPECT_EQ(client.BuildRequest(kRtspPlay),
              "PLAY rtsp://cam:554/live RTSP/1.0\r\nCSeq: 43\r\nUser-Agent: Korvane\r\nSession: S9\r\n"
              "Range: npt=0.000-\r\n\r\n");
    settings.range = "clock=19961108T143720.25Z-";
    Reconfigure();
    EXPECT_EQ(client.BuildRequest(kRtspPause),
              "PAUSE rtsp://cam:554/live RTSP/1.0\r\nCSeq: 44\r\nUser-Agent: Korvane\r\nSession: S9\r\n"
              "Range: clock=19961108T143720.25Z-\r\n\r\n");
    EXPECT_EQ(client.BuildRequest(kRtspTeardown),
              "TEARDOWN rtsp://cam:554/live RTSP/1.0\r\nCSeq: 45\r\nUser-Agent: Korvane\r\nSession: S9\r\n\r\n");
    client.MutableResponse().m_sessionId.clear();
    EXPECT_EQ(client.BuildRequest(kRtspOptions),
              "OPTIONS rtsp://cam:554/live RTSP/1.0\r\nCSeq: 46\r\nUser-Agent: Korvane\r\n\r\n");
    EXPECT_EQ(client.BuildRequest(0), "");
    EXPECT_EQ(client.BuildRequest(7), "");
}

TEST_F(RtspClientRequests, BasicAuthorisationStaysOnOneLine)
{
    settings.authScheme = kAuthBasic;
    settings.userName = "root";
    settings.password = "camsim";
    Reconfigure();
    EXPECT_EQ(Line(kRtspOptions, "Authorization"), "Authorization: Basic cm9vdDpjYW1zaW0=");
    // 57 bytes of credentials encode to exactly one 76-character line.
    settings.userName = std::string(28, 'u');
    settings.password = std::string(28, 'p');
    Reconfigure();
    const std::string line = Line(kRtspOptions, "Authorization");
    EXPECT_EQ(line.size(), std::string("Authorization: Basic ").size() + 76);
    EXPECT_NE(client.BuildRequest(kRtspOptions).find(line + "\r\nUser-Agent: Korvane\r\n\r\n"), std::string::npos);
    // Credentials whose encoding exceeds the header buffer send no header.
    settings.password = std::string(60, 'p');
    Reconfigure();
    EXPECT_EQ(Line(kRtspOptions, "Authorization"), "");
}

TEST_F(RtspClientRequests, DigestAuthorisationNeedsAChallenge)
{
    settings.authScheme = kAuthDigest;
    settings.userName = "root";
    settings.password = "camsim";
    Reconfigure();
    EXPECT_EQ(Line(kRtspDescribe, "Authorization"), "");
    CRTSPResponseParser& response = client.MutableResponse();
    response.m_challengeScheme = kAuthDigest;
    response.m_realm = "camsim";
    response.m_nonce = "abc";
    const std::string ha1 = Md5Hex("root:camsim:camsim");
    EXPECT_EQ(Line(kRtspSetup, "Authorization"),
              "Authorization: Digest username=\"root\", realm=\"camsim\", nonce=\"abc\", "
              "uri=\"rtsp://cam:554/live\", response=\"" +
                  Md5Hex(ha1 + ":abc:" + Md5Hex("SETUP:rtsp://cam:554/live")) + "\"");
    response.m_challengeScheme = kAuthBasic;
    EXPECT_EQ(Line(kRtspSetup, "Authorization"), "");
}

