// The RTSP client: its requests, the responses and descriptions it parses, and whole sessions against the simulated
// camera on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>

#include "camsim/rtsp/RtspServer.h"
#include "platform/TcpSocket.h"
#include "runtime/Md5.h"
#include "streaming/BaseRTSPClient.h"
#include "streaming/RTCPHandler.h"
#include "streaming/RTPReceiver.h"
#include "streaming/RTSPResponseParser.h"
#include "streaming/SDPResponseParser.h"
#include "support/FakeDriver.h"
#include "support/TestData.h"
#include "StreamTestSupport.h"

namespace korvane::test {
namespace {

using camsim::RtspServer;
constexpr uint32_t kWaitMs = 5000;

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

    FakeDriver driver;
    RTSPClientSettings settings;
    RequestClient client;
};

TEST_F(RtspClientRequests, BaseUrlKeepAliveBasisAndSetupUrl)
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
    // The SETUP URL joins the content base and the section's control.
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
    Video().profile = "RTP/SAVP";
    EXPECT_EQ(Line(kRtspSetup, "Transport"), "Transport: RTP/SAVP;unicast;interleaved=0-1");

    // Blocksize only above 100.
    for (const auto& [size, line] : {std::make_pair(100u, ""), std::make_pair(101u, "Blocksize: 101")}) {
        settings.blockSize = size;
        Reconfigure();
        EXPECT_EQ(Line(kRtspSetup, "Blocksize"), line);
    }
}

TEST_F(RtspClientRequests, RequestTextsAndCSeq)
{
    client.MutableResponse().m_cseq = 41;
    client.MutableResponse().m_sessionId = "S9";
    std::vector<std::string> requests = {client.BuildRequest(kRtspDescribe), client.BuildRequest(kRtspPlay)};
    settings.range = "clock=19961108T143720.25Z-";
    Reconfigure();
    requests.push_back(client.BuildRequest(kRtspPause));
    requests.push_back(client.BuildRequest(kRtspTeardown));
    client.MutableResponse().m_sessionId.clear();
    requests.push_back(client.BuildRequest(kRtspOptions));
    std::vector<std::string> expected = ReadTestDataLines("streaming/requests.txt");
    std::transform(expected.begin(), expected.end(), expected.begin(), Unescaped);
    EXPECT_EQ(requests, expected);
    EXPECT_EQ(client.BuildRequest(0) + client.BuildRequest(7), "");
}

// Basic authorisation stays on one line; digest authorisation needs a challenge.
TEST_F(RtspClientRequests, AuthorisationHeaders)
{
    // 57 bytes of credentials encode to exactly one 76-character line.
    settings.authScheme = kAuthBasic;
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

class RtspSession : public ::testing::Test {
protected:
    RtspSession() : client(&driver)
    {
        server.Options().auth = camsim::RtspAuth::Digest;
        settings.address = "127.0.0.1";
        settings.path = "stream";
        settings.userName = "root";
        settings.password = "camsim";
        settings.receiveTimeoutMs = 1000;
    }
    ~RtspSession() override { client.Stop(); }

    void StartServer()
    {
        ASSERT_TRUE(server.Start());
        settings.serverPort = server.Port();
    }
    // Asks for the first even port pair from `base` on where `start(port)` succeeds.
    template <typename Start>
    bool ClaimPortPair(uint16_t base, Start start)
    {
        for (uint32_t port = base + static_cast<uint32_t>(getpid() % 1000) * 2; port < 60000; port += 2) {
            if (start(static_cast<uint16_t>(port))) {
                settings.clientRtpPort = static_cast<uint16_t>(port);
                settings.clientRtcpPort = static_cast<uint16_t>(port + 1);
                return true;
            }
        }
        return false;
    }
    bool StartSession(RTSPTransportMode mode = RTSPTransportMode::UDP) { return client.Start(settings, &user, mode); }
    const camsim::RtspRecorder& Recorded() const { return server.Recorder(); }
    // The methods of the requests after the first `skipped`.
    std::vector<std::string> Methods(size_t skipped = 0) const
    {
        std::vector<std::string> methods;
        for (const std::string& text : Recorded().Requests())
            methods.push_back(text.substr(0, text.find(' ')));
        methods.erase(methods.begin(), methods.begin() + static_cast<long>(std::min(skipped, methods.size())));
        return methods;
    }
    // Starts a session and waits for `closed` sessions to have ended; the methods this one sent.
    std::vector<std::string> SessionMethods(size_t closed)
    {
        const size_t before = Recorded().Requests().size();
        EXPECT_TRUE(StartSession() && WaitUntil([&] { return user.sessionsClosed == closed; }));
        return Methods(before);
    }
    bool HasRequest(const std::string& method, size_t count = 1) const
    {
        const std::vector<std::string> methods = Methods();
        return static_cast<size_t>(std::count(methods.begin(), methods.end(), method)) >= count;
    }

    std::string Digest(const std::string& method, const std::string& uri) const
    {
        const camsim::RtspServerOptions& options = const_cast<RtspServer&>(server).Options();
        const std::string ha1 = Md5Hex(options.userName + ":" + options.realm + ":" + options.password);
        const std::string response = Md5Hex(ha1 + ":" + options.nonce + ":" + Md5Hex(method + ":" + uri));
        return "Authorization: Digest username=\"root\", realm=\"" + options.realm + "\", nonce=\"" + options.nonce +
               "\", uri=\"" + uri + "\", response=\"" + response + "\"\r\n";
    }

    FakeDriver driver;
    RtspServer server;
    RTSPClientSettings settings;
    RecordingStreamUser user;
    CBaseRTSPClient client;
};

TEST_F(RtspSession, InterleavedSessionWithDigestAuthorisation)
{
    server.Options().sessionTimeoutS = 2;
    StartServer();
    settings.receiveTimeoutMs = 300;  // the interleaved reading ends after 300 ms without data
    ASSERT_TRUE(StartSession(RTSPTransportMode::Interleaved) && WaitUntil([&] { return user.packets >= 10; }));
    EXPECT_EQ(user.Description().Video().encoding, "H264/90000");
    EXPECT_FALSE(user.Description().sequenceParameterSet.empty());

    // No data: the reading loop ends and the keep-alive goes out at the next wait time-out.
    server.Faults().stopSending = true;
    ASSERT_TRUE(WaitUntil([&] { return HasRequest("OPTIONS"); }));
    client.Pause();
    ASSERT_TRUE(WaitUntil([&] { return client.IsPaused(); }));
    server.Faults().stopSending = false;
    const size_t packetsWhilePaused = user.packets;
    client.Play();
    ASSERT_TRUE(WaitUntil([&] { return user.packets >= packetsWhilePaused + 10; }));
    EXPECT_FALSE(client.IsPaused());
    client.Stop();
    EXPECT_EQ(user.sessionsClosed, 1u);

    const std::string base = server.BaseUrl();
    const std::string first = "rtsp://127.0.0.1:" + std::to_string(server.Port()) + "/stream";
    // The digest of SETUP covers the base URL.
    const auto request = [&](int cseq, const std::string& method, const std::string& uri, const std::string& headers) {
        return method + " " + uri + " RTSP/1.0\r\nCSeq: " + std::to_string(cseq) + "\r\n" +
               (cseq > 1 ? Digest(method, uri.substr(0, uri.find("trackID"))) : "") + "User-Agent: Korvane\r\n" +
               headers + "\r\n";
    };
    const std::string session = "Session: 47110815\r\n";
    const std::string range = session + "Range: npt=0.000-\r\n";
    const std::vector<std::string> expected = {
        request(1, "DESCRIBE", first, "Accept: application/sdp\r\n"),
        request(2, "DESCRIBE", first, "Accept: application/sdp\r\n"),
        request(3, "SETUP", base + "trackID=1", "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n"),
        request(4, "PLAY", base, range),
        request(5, "OPTIONS", base, session),
        request(6, "PAUSE", base, range),
        request(7, "PLAY", base, range),
        request(8, "TEARDOWN", base, session),
    };
    ASSERT_TRUE(Recorded().WaitForRequests(expected.size(), kWaitMs));
    std::vector<std::string> requests = Recorded().Requests();
    // Further keep-alives may have gone out while the stream was stopped.
    requests.erase(std::remove_if(requests.begin() + 5, requests.end(),
                                  [](const std::string& text) { return text.rfind("OPTIONS", 0) == 0; }),
                   requests.end());
    EXPECT_EQ(requests, expected);
}

TEST_F(RtspSession, UdpUnicastWithReceiverReportsAndBye)
{
    StartServer();
    CRTPReceiver receiver(&driver);
    CRTCPHandler rtcp(&driver);
    receiver.SetUser(&user);
    rtcp.SetUser(&user);
    ASSERT_TRUE(ClaimPortPair(41000, [&](uint16_t port) {
        if (receiver.StartUnicast(0, port) && rtcp.StartUnicast(kLoopback, port + 1))
            return true;
        receiver.Stop();
        rtcp.Stop();
        return false;
    }));
    ASSERT_TRUE(StartSession());

    ASSERT_TRUE(WaitUntil([&] { return user.packets >= 10; }) && Recorded().WaitForReceiverReports(1, kWaitMs));
    server.SendBye();
    ASSERT_TRUE(WaitUntil([&] { return user.byes == 1; }));
    client.Stop();
    EXPECT_TRUE(HasRequest("TEARDOWN"));
}

TEST_F(RtspSession, MulticastSetupFollowsTheDescriptionAndThePausedFlagHoldsPlayBackUntilPlay)
{
    const uint16_t port = static_cast<uint16_t>(42000 + (getpid() % 1000) * 4);
    server.Options().multicastGroup = "239.255.42.42";
    server.Options().multicastPort = port;
    server.Options().auth = camsim::RtspAuth::None;
    StartServer();
    CRTPReceiver receiver(&driver);
    receiver.SetUser(&user);
    ASSERT_TRUE(receiver.StartMulticast("239.255.42.42", port));
    ASSERT_TRUE(StartSession() && WaitUntil([&] { return HasRequest("PLAY"); }));
    EXPECT_TRUE(WaitUntil([&] { return user.packets >= 10; }));
    EXPECT_EQ(user.Description().Video().connectionAddress, "239.255.42.42");
    EXPECT_EQ(user.Description().Video().port, port);
    EXPECT_TRUE(client.LastRequestSucceeded());
    client.Pause();
    ASSERT_TRUE(WaitUntil([&] { return client.IsPaused(); }));
    client.Stop();

    const size_t before = Recorded().Requests().size();
    // The first keep-alive comes after the first 2-second wait: no PLAY before it.
    ASSERT_TRUE(StartSession() && WaitUntil([&] { return HasRequest("OPTIONS"); }));
    EXPECT_EQ(Methods(before), (std::vector<std::string>{"DESCRIBE", "SETUP", "OPTIONS"}));
    client.Play();
    ASSERT_TRUE(WaitUntil([&] { return HasRequest("PLAY", 2); }));
    EXPECT_FALSE(client.IsPaused());
}

TEST_F(RtspSession, BasicChallengeIsAnsweredOnce)
{
    server.Options().auth = camsim::RtspAuth::Basic;
    StartServer();
    ASSERT_TRUE(StartSession() && WaitUntil([&] { return HasRequest("PLAY"); }));
    const std::vector<std::string> requests = Recorded().Requests();
    EXPECT_EQ(requests[0].find("Authorization"), std::string::npos);
    EXPECT_NE(requests[1].find("\r\nAuthorization: Basic cm9vdDpjYW1zaW0=\r\n"), std::string::npos);
    EXPECT_EQ(Methods()[2], "SETUP");

    // Wrong credentials: the second 401 has the scheme in use, so there is no third attempt.
    client.Stop();
    settings.password = "wrong";
    settings.authScheme = kAuthBasic;
    EXPECT_EQ(SessionMethods(2), std::vector<std::string>{"DESCRIBE"});
    EXPECT_FALSE(client.LastRequestSucceeded());
}

TEST_F(RtspSession, DigestSchemeAtStartThenRefusedDescriptions)
{
    StartServer();
    settings.authScheme = kAuthDigest;
    EXPECT_EQ(SessionMethods(1), std::vector<std::string>{"DESCRIBE"});
    // The next session answers the challenge it kept.
    client.Stop();
    ASSERT_TRUE(StartSession() && WaitUntil([&] { return HasRequest("PLAY"); }));
    EXPECT_EQ(Methods()[1], "DESCRIBE");
    EXPECT_EQ(user.descriptions, 1u);
    client.Stop();

    // A refused description ends the session with a TEARDOWN.
    settings.authScheme = kAuthNone;
    user.acceptDescription = false;
    EXPECT_EQ(SessionMethods(3), (std::vector<std::string>{"DESCRIBE", "DESCRIBE", "TEARDOWN"}));
    // A user that throws counts as refusing.
    client.Stop();
    user.acceptDescription = true;
    user.throwFromUser = true;
    const std::vector<std::string> methods = SessionMethods(4);
    EXPECT_EQ(methods.back(), "TEARDOWN");
    EXPECT_EQ(std::find(methods.begin(), methods.end(), "SETUP"), methods.end());
}

TEST_F(RtspSession, StopEndsABlockedReadWithinItsBoundAndConnectFailsWithoutServer)
{
    server.Faults().responseDelayMs = 20000;
    StartServer();
    settings.receiveTimeoutMs = 15000;
    ASSERT_TRUE(StartSession() && Recorded().WaitForRequests(1, kWaitMs));
    // Far below the 15 s receive time-out: the stop shortened the read.
    EXPECT_LT(TimedMs([&] { client.Stop(); }), 5000u);
    EXPECT_EQ(user.sessionsClosed, 1u);
    EXPECT_FALSE(client.LastRequestSucceeded());

    platform::TcpSocket probe;
    ASSERT_TRUE(probe.Listen(platform::ParseIPv4("127.0.0.1"), 0));
    settings.serverPort = probe.LocalPort();
    probe.Close();  // nothing listens on this port any more
    settings.connectTimeoutMs = 300;
    EXPECT_FALSE(StartSession());
    settings.address = "";
    EXPECT_FALSE(StartSession());
    EXPECT_EQ(user.sessionsClosed, 1u);
}

TEST_F(RtspSession, SimulatorPacketFaultsShowInTheSequenceNumbersAndAClosedConnectionEndsTheReading)
{
    server.Options().auth = camsim::RtspAuth::None;
    server.Options().tracks = {camsim::MediaCodec::Jpeg};
    server.Faults().duplicate = true;
    StartServer();
    ASSERT_TRUE(StartSession(RTSPTransportMode::Interleaved) && WaitUntil([&] { return user.packets >= 20; }));
    server.Faults().duplicate = false;
    server.Faults().reorder = true;
    size_t mark = user.packets;
    ASSERT_TRUE(WaitUntil([&] { return user.packets >= mark + 20; }));
    server.Faults().reorder = false;
    server.Faults().dropEvery = 3;
    mark = user.packets;
    ASSERT_TRUE(WaitUntil([&] { return user.packets >= mark + 20; }));
    server.CloseConnections();
    // Back in the wait loop, later requests fail on the dead connection.
    ASSERT_TRUE(WaitUntil([&] { return !client.LastRequestSucceeded(); }));
    client.Stop();
    EXPECT_EQ(user.sessionsClosed, 1u);

    std::map<uint16_t, size_t> steps;  // between consecutive sequence numbers: repeats, steps back, gaps
    const std::vector<uint16_t> sequences = user.Sequences();
    for (size_t i = 1; i < sequences.size(); ++i)
        ++steps[static_cast<uint16_t>(sequences[i] - sequences[i - 1])];
    EXPECT_THAT((std::vector<size_t>{steps[0], steps[0xFFFF], steps[2]}), ::testing::Each(::testing::Ge(5u)));
}

// A camera that answers the first request with fixed bytes, then only reads until the client goes away.
class RawCamera {
public:
    explicit RawCamera(std::string response) : m_response(std::move(response))
    {
        m_listener.Listen(platform::ParseIPv4("127.0.0.1"), 0);
        m_thread = std::thread([this] { Serve(); });
    }
    ~RawCamera() { FirstRequest(); }
    uint16_t Port() const { return m_listener.LocalPort(); }
    // Once the client has gone.
    const std::string& FirstRequest()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_request;
    }

private:
    void Serve()
    {
        platform::TcpSocket connection = m_listener.Accept(kWaitMs);
        char buffer[4096];
        m_request.assign(buffer, static_cast<size_t>(std::max(connection.Receive(buffer, sizeof buffer), 0)));
        connection.SendAll(m_response.data(), m_response.size());
        connection.SetReceiveTimeout(100);
        for (int idle = 0; idle < 100 && connection.Receive(buffer, sizeof buffer) != 0; ++idle) {
        }
    }

    platform::TcpSocket m_listener;
    std::string m_response;
    std::string m_request;
    std::thread m_thread;
};

TEST_F(RtspSession, RawRepliesWithLongHeadersOrHugeBodies)
{
    user.acceptDescription = false;
    settings.path = "cam";
    settings.receiveTimeoutMs = 500;
    {
        const std::string sdp = "m=video 0 RTP/AVP 26\r\na=control:trackID=1\r\n";
        // The Content-Base and Content-Length come after byte 512 and are never seen.
        RawCamera camera("RTSP/1.0 200 OK\r\nCSeq: 1\r\nServer: " + std::string(520, 'x') +
                         "\r\nContent-Base: rtsp://elsewhere/\r\nContent-Length: " + std::to_string(sdp.size()) +
                         "\r\n\r\n" + sdp);
        settings.serverPort = camera.Port();
        ASSERT_TRUE(StartSession() && WaitUntil([&] { return user.sessionsClosed == 1; }));
        client.Stop();
        EXPECT_EQ(camera.FirstRequest().rfind("DESCRIBE rtsp://127.0.0.1:", 0), 0u);
        EXPECT_EQ(user.descriptions, 1u);
        EXPECT_EQ(user.Description().Video().control, "");
        EXPECT_EQ(client.BaseUrl(), "rtsp://127.0.0.1:" + std::to_string(settings.serverPort) + "/cam");
    }
    std::string body;
    while (body.size() < 200000)
        body += "x=" + std::string(60, 'y') + "\r\n";
    RawCamera camera("RTSP/1.0 200 OK\r\nCSeq: 1\r\nContent-Length: 999999999\r\n\r\n" + body);
    settings.serverPort = camera.Port();
    settings.receiveTimeoutMs = 30000;  // the camera keeps the connection open
    ASSERT_TRUE(StartSession());
    // The description arrives once the limit is read, long before the receive time-out.
    EXPECT_TRUE(WaitUntil([&] { return user.descriptions == 2; }, 10000));
    client.Stop();
}

TEST_F(RtspSession, KeepAliveHoldsASessionThatWouldExpire)
{
    server.Options().auth = camsim::RtspAuth::None;
    server.Options().tracks = {camsim::MediaCodec::Pcmu};
    server.Options().sessionTimeoutS = 3;  // OPTIONS every 2 s wait, the half time-out being 1.5 s
    server.Options().expireSessions = true;
    StartServer();
    settings.mediaSelector = kSelectAudio;
    CRTPReceiver receiver(&driver);
    receiver.SetUser(&user);
    ASSERT_TRUE(ClaimPortPair(43000, [&](uint16_t port) { return receiver.StartUnicast(0, port); }));
    ASSERT_TRUE(StartSession() && WaitUntil([&] { return HasRequest("OPTIONS", 3); }, 10000));
    const size_t packets = user.packets;
    ASSERT_TRUE(WaitUntil([&] { return user.packets > packets + 5; }));
    EXPECT_EQ(std::make_tuple(Recorded().SessionsExpired(), client.LastRequestSucceeded(), client.SessionTimeoutS()),
              std::make_tuple(0u, true, 3u));
    EXPECT_NE(Recorded().Requests()[1].find("SETUP " + server.BaseUrl() + "trackID=1 "), std::string::npos);
}

TEST_F(RtspSession, SessionWithoutKeepAliveExpires)
{
    server.Options().auth = camsim::RtspAuth::None;
    server.Options().sessionTimeoutS = 1;
    server.Options().expireSessions = true;
    StartServer();
    // Interleaved reading holds the client thread: no keep-alive goes out meanwhile.
    ASSERT_TRUE(StartSession(RTSPTransportMode::Interleaved));
    ASSERT_TRUE(WaitUntil([&] { return server.Recorder().SessionsExpired() == 1; }));
    // The keep-alive after the reading loop ends meets the expired session.
    ASSERT_TRUE(WaitUntil([&] { return HasRequest("OPTIONS"); }));
    ASSERT_TRUE(WaitUntil([&] { return !client.LastRequestSucceeded(); }));
}

}  // namespace
}  // namespace korvane::test
