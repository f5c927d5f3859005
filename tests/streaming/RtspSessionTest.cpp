// Whole RTSP sessions of the client against the simulated camera on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "camsim/rtsp/RtspServer.h"
#include "platform/Network.h"
#include "platform/TcpSocket.h"
#include "runtime/Md5.h"
#include "streaming/BaseRTSPClient.h"
#include "streaming/RTCPHandler.h"
#include "streaming/RTPReceiver.h"
#include "support/FakeDriver.h"

using namespace korvane;
using camsim::RtspServer;

namespace {

constexpr uint32_t kWaitMs = 5000;

bool WaitUntil(const std::function<bool()>& reached, uint32_t timeoutMs = kWaitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!reached()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class RecordingUser : public IRTSPClientUser, public IRTPReceiverUser, public IRTCPHandlerUser {
public:
    bool SdpInfoReceived(const SdpInfo& description) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_description = description;
        ++m_descriptions;
        if (throwOnDescription)
            throw std::runtime_error("user fault");
        return acceptDescription;
    }
    void InterleavedPacketReceived(const CRTPPacket& packet) override { Count(packet); }
    void SessionClosed() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_closed;
    }
    void PacketReceived(const RTPPacketRecord&, const CRTPPacket& packet) override { Count(packet); }
    void ReceiveTimeout() override {}
    void ReceiverClosed() override {}
    void ByeReceived() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_byes;
    }

    size_t Packets() const { return Get(m_packets); }
    std::vector<uint16_t> Sequences() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sequences;
    }
    size_t Closed() const { return Get(m_closed); }
    size_t Descriptions() const { return Get(m_descriptions); }
    size_t Byes() const { return Get(m_byes); }
    SdpInfo Description() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_description;
    }

    bool acceptDescription = true;
    bool throwOnDescription = false;

private:
    void Count(const CRTPPacket& packet)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_packets;
        m_sequences.push_back(packet.m_sequenceNumber);
    }
    size_t Get(const size_t& value) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return value;
    }

    mutable std::mutex m_mutex;
    SdpInfo m_description;
    size_t m_packets = 0;
    std::vector<uint16_t> m_sequences;
    size_t m_closed = 0;
    size_t m_descriptions = 0;
    size_t m_byes = 0;
};

std::vector<std::string> Methods(const camsim::RtspRecorder& recorder)
{
    std::vector<std::string> methods;
    for (const std::string& text : recorder.Requests())
        methods.push_back(text.substr(0, text.find(' ')));
    return methods;
}

bool HasRequest(const camsim::RtspRecorder& recorder, const std::string& method, size_t count = 1)
{
    size_t found = 0;
    for (const std::string& name : Methods(recorder))
        found += name == method ? 1 : 0;
    return found >= count;
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
    const camsim::RtspRecorder& Recorded() const { return server.Recorder(); }

    std::string Digest(const std::string& method, const std::string& uri) const
    {
        const camsim::RtspServerOptions& options = const_cast<RtspServer&>(server).Options();
        const std::string ha1 = Md5Hex(options.userName + ":" + options.realm + ":" + options.password);
        const std::string response = Md5Hex(ha1 + ":" + options.nonce + ":" + Md5Hex(method + ":" + uri));
        return "Authorization: Digest username=\"root\", realm=\"" + options.realm + "\", nonce=\"" + options.nonce +
               "\", uri=\"" + uri + "\", response=\"" + response + "\"\r\n";
    }

    test::FakeDriver driver;
    RtspServer server;
    RTSPClientSettings settings;
    RecordingUser user;
    CBaseRTSPClient client;
};

}  // namespace

TEST_F(RtspSession, InterleavedSessionWithDigestAuthorisation)
{
    server.Options().sessionTimeoutS = 2;
    StartServer();
    settings.receiveTimeoutMs = 300;  // the interleaved reading ends after 300 ms without data
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::Interleaved));

    ASSERT_TRUE(WaitUntil([&] { return user.Packets() >= 10; }));
    EXPECT_EQ(user.Description().Video().encoding, "H264/90000");
    EXPECT_FALSE(user.Description().sequenceParameterSet.empty());

    // No data: the reading loop ends and the keep-alive goes out at the next wait time-out.
    server.Faults().stopSending = true;
    ASSERT_TRUE(WaitUntil([&] { return HasRequest(Recorded(), "OPTIONS"); }));
    client.Pause();
    ASSERT_TRUE(WaitUntil([&] { return client.IsPaused(); }));
    server.Faults().stopSending = false;
    const size_t packetsWhilePaused = user.Packets();
    client.Play();
    ASSERT_TRUE(WaitUntil([&] { return user.Packets() >= packetsWhilePaused + 10; }));
    EXPECT_FALSE(client.IsPaused());
    client.Stop();
    EXPECT_EQ(user.Closed(), 1u);

    const std::string base = server.BaseUrl();
    const std::string first = "rtsp://127.0.0.1:" + std::to_string(server.Port()) + "/stream";
    const std::string agent = "User-Agent: Korvane\r\n";
    const std::string session = "Session: 47110815\r\n";
    const std::vector<std::string> expected = {
        "DESCRIBE " + first + " RTSP/1.0\r\nCSeq: 1\r\n" + agent + "Accept: application/sdp\r\n\r\n",
        "DESCRIBE " + first + " RTSP/1.0\r\nCSeq: 2\r\n" + Digest("DESCRIBE", first) + agent +
            "Accept: application/sdp\r\n\r\n",
        "SETUP " + base + "trackID=1 RTSP/1.0\r\nCSeq: 3\r\n" + Digest("SETUP", base) + agent +
            "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n\r\n",
        "PLAY " + base + " RTSP/1.0\r\nCSeq: 4\r\n" + Digest("PLAY", base) + agent + session +
            "Range: npt=0.000-\r\n\r\n",
        "OPTIONS " + base + " RTSP/1.0\r\nCSeq: 5\r\n" + Digest("OPTIONS", base) + agent + session + "\r\n",
        "PAUSE " + base + " RTSP/1.0\r\nCSeq: 6\r\n" + Digest("PAUSE", base) + agent + session +
            "Range: npt=0.000-\r\n\r\n",
        "PLAY " + base + " RTSP/1.0\r\nCSeq: 7\r\n" + Digest("PLAY", base) + agent + session +
            "Range: npt=0.000-\r\n\r\n",
        "TEARDOWN " + base + " RTSP/1.0\r\nCSeq: 8\r\n" + Digest("TEARDOWN", base) + agent + session + "\r\n",
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
    const uint32_t loopback = platform::ParseIPv4("127.0.0.1");
    uint16_t port = 0;
    for (uint16_t candidate = 41000 + static_cast<uint16_t>(getpid() % 1000) * 2; candidate < 60000 && port == 0;
         candidate += 2) {
        if (receiver.StartUnicast(0, candidate) && rtcp.StartUnicast(loopback, candidate + 1))
            port = candidate;
        else {
            receiver.Stop();
            rtcp.Stop();
        }
    }
    ASSERT_NE(port, 0);
    settings.clientRtpPort = port;
    settings.clientRtcpPort = port + 1u;
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::UDP));

    ASSERT_TRUE(WaitUntil([&] { return user.Packets() >= 10; }));
    ASSERT_TRUE(Recorded().WaitForReceiverReports(1, kWaitMs));
    const std::vector<uint8_t> report = Recorded().ReceiverReports().front();
    ASSERT_EQ(report.size(), 32u);
    EXPECT_EQ(report[1], 201);
    server.SendBye();
    ASSERT_TRUE(WaitUntil([&] { return user.Byes() == 1; }));

    const std::vector<std::string> requests = Recorded().Requests();
    ASSERT_GE(requests.size(), 4u);
    EXPECT_NE(requests[2].find("\r\nTransport: RTP/AVP/UDP;unicast;client_port=" + std::to_string(port) + "-" +
                               std::to_string(port + 1) + "\r\n"),
              std::string::npos);
    client.Stop();
    rtcp.Stop();
    receiver.Stop();
    EXPECT_TRUE(HasRequest(Recorded(), "TEARDOWN"));
}

TEST_F(RtspSession, MulticastSetupFollowsTheDescription)
{
    const uint16_t port = static_cast<uint16_t>(42000 + (getpid() % 1000) * 4);
    server.Options().multicastGroup = "239.255.42.42";
    server.Options().multicastPort = port;
    server.Options().auth = camsim::RtspAuth::None;
    StartServer();
    CRTPReceiver receiver(&driver);
    receiver.SetUser(&user);
    ASSERT_TRUE(receiver.StartMulticast("239.255.42.42", port));
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::UDP));
    ASSERT_TRUE(WaitUntil([&] { return HasRequest(Recorded(), "PLAY"); }));
    EXPECT_TRUE(WaitUntil([&] { return user.Packets() >= 10; }));
    EXPECT_EQ(user.Description().Video().connectionAddress, "239.255.42.42");
    EXPECT_EQ(user.Description().Video().port, port);
    const std::vector<std::string> requests = Recorded().Requests();
    EXPECT_NE(requests[1].find("\r\nTransport: RTP/AVP/UDP;multicast;client_port=" + std::to_string(port) + "-" +
                               std::to_string(port + 1) + "\r\n"),
              std::string::npos);
    EXPECT_TRUE(client.LastRequestSucceeded());
}

TEST_F(RtspSession, BasicChallengeIsAnsweredOnce)
{
    server.Options().auth = camsim::RtspAuth::Basic;
    StartServer();
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::UDP));
    ASSERT_TRUE(WaitUntil([&] { return HasRequest(Recorded(), "PLAY"); }));
    const std::vector<std::string> requests = Recorded().Requests();
    EXPECT_EQ(requests[0].find("Authorization"), std::string::npos);
    EXPECT_NE(requests[1].find("\r\nAuthorization: Basic cm9vdDpjYW1zaW0=\r\n"), std::string::npos);
    EXPECT_EQ(Methods(Recorded())[2], "SETUP");

    // Wrong credentials: the second 401 has the scheme in use, so there is no third attempt.
    client.Stop();
    settings.password = "wrong";
    settings.authScheme = kAuthBasic;
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::UDP));
    ASSERT_TRUE(WaitUntil([&] { return user.Closed() == 2; }));
    EXPECT_EQ(Methods(Recorded()).back(), "DESCRIBE");
    EXPECT_FALSE(client.LastRequestSucceeded());
}

TEST_F(RtspSession, DigestSchemeAtStartSucceedsOnTheNextSession)
{
    StartServer();
    settings.authScheme = kAuthDigest;
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::UDP));
    ASSERT_TRUE(WaitUntil([&] { return user.Closed() == 1; }));
    EXPECT_EQ(Methods(Recorded()), std::vector<std::string>{"DESCRIBE"});
    client.Stop();
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::UDP));
    ASSERT_TRUE(WaitUntil([&] { return HasRequest(Recorded(), "PLAY"); }));
    EXPECT_EQ(Methods(Recorded())[1], "DESCRIBE");
    EXPECT_EQ(user.Descriptions(), 1u);
}

TEST_F(RtspSession, RefusedDescriptionEndsTheSessionWithTeardown)
{
    StartServer();
    user.acceptDescription = false;
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::UDP));
    ASSERT_TRUE(WaitUntil([&] { return user.Closed() == 1; }));
    EXPECT_EQ(Methods(Recorded()), (std::vector<std::string>{"DESCRIBE", "DESCRIBE", "TEARDOWN"}));

    // A user that throws counts as refusing.
    client.Stop();
    user.acceptDescription = true;
    user.throwOnDescription = true;
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::UDP));
    ASSERT_TRUE(WaitUntil([&] { return user.Closed() == 2; }));
    EXPECT_EQ(Methods(Recorded()).back(), "TEARDOWN");
    EXPECT_FALSE(HasRequest(Recorded(), "SETUP"));
}

TEST_F(RtspSession, PausedFlagHoldsPlayBackUntilPlay)
{
    server.Options().auth = camsim::RtspAuth::None;
    StartServer();
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::UDP));
    ASSERT_TRUE(WaitUntil([&] { return HasRequest(Recorded(), "PLAY"); }));
    client.Pause();
    ASSERT_TRUE(WaitUntil([&] { return client.IsPaused(); }));
    client.Stop();

    const size_t before = Recorded().Requests().size();
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::UDP));
    // The first keep-alive comes after the first 2-second wait: no PLAY before it.
    ASSERT_TRUE(WaitUntil([&] { return HasRequest(Recorded(), "OPTIONS"); }));
    std::vector<std::string> methods = Methods(Recorded());
    methods.erase(methods.begin(), methods.begin() + static_cast<long>(before));
    EXPECT_EQ(methods, (std::vector<std::string>{"DESCRIBE", "SETUP", "OPTIONS"}));
    client.Play();
    ASSERT_TRUE(WaitUntil([&] { return HasRequest(Recorded(), "PLAY", 2); }));
    EXPECT_FALSE(client.IsPaused());
}

TEST_F(RtspSession, StopEndsABlockedReadWithinItsBound)
{
    server.Faults().responseDelayMs = 20000;
    StartServer();
    settings.receiveTimeoutMs = 15000;
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::UDP));
    ASSERT_TRUE(Recorded().WaitForRequests(1, kWaitMs));
    const auto start = std::chrono::steady_clock::now();
    client.Stop();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // Far below the 15 s receive time-out: the stop shortened the read.
    EXPECT_LT(elapsed, std::chrono::milliseconds(2 * 15000 + 1000));
    EXPECT_LT(elapsed, std::chrono::milliseconds(5000));
    EXPECT_EQ(user.Closed(), 1u);
    EXPECT_FALSE(client.LastRequestSucceeded());
}

TEST_F(RtspSession, ConnectFailsWithoutServer)
{
    platform::TcpSocket probe;
    ASSERT_TRUE(probe.Listen(platform::ParseIPv4("127.0.0.1"), 0));
    settings.serverPort = probe.LocalPort();
    probe.Close();  // nothing listens on this port any more
    settings.connectTimeoutMs = 300;
    EXPECT_FALSE(client.Start(settings, &user, RTSPTransportMode::UDP));
    settings.address = "";
    EXPECT_FALSE(client.Start(settings, &user, RTSPTransportMode::UDP));
    EXPECT_EQ(user.Closed(), 0u);
}

TEST_F(RtspSession, ClosedConnectionEndsInterleavedReading)
{
    server.Options().auth = camsim::RtspAuth::None;
    StartServer();
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::Interleaved));
    ASSERT_TRUE(WaitUntil([&] { return user.Packets() >= 5; }));
    server.CloseConnections();
    // Back in the wait loop, later requests fail on the dead connection.
    ASSERT_TRUE(WaitUntil([&] { return !client.LastRequestSucceeded(); }));
    client.Stop();
    EXPECT_EQ(user.Closed(), 1u);
}

TEST_F(RtspSession, SimulatorPacketFaultsShowInTheSequenceNumbers)
{
    server.Options().auth = camsim::RtspAuth::None;
    server.Options().tracks = {camsim::MediaCodec::Jpeg};
    server.Faults().duplicate = true;
    StartServer();
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::Interleaved));
    ASSERT_TRUE(WaitUntil([&] { return user.Packets() >= 20; }));
    server.Faults().duplicate = false;
    server.Faults().reorder = true;
    size_t mark = user.Packets();
    ASSERT_TRUE(WaitUntil([&] { return user.Packets() >= mark + 20; }));
    server.Faults().reorder = false;
    server.Faults().dropEvery = 3;
    mark = user.Packets();
    ASSERT_TRUE(WaitUntil([&] { return user.Packets() >= mark + 20; }));
    client.Stop();

    size_t repeats = 0, backwards = 0, gaps = 0;
    const std::vector<uint16_t> sequences = user.Sequences();
    for (size_t i = 1; i < sequences.size(); ++i) {
        const uint16_t step = static_cast<uint16_t>(sequences[i] - sequences[i - 1]);
        repeats += step == 0 ? 1 : 0;
        backwards += step == 0xFFFF ? 1 : 0;
        gaps += step == 2 ? 1 : 0;
    }
    EXPECT_GE(repeats, 5u);
    EXPECT_GE(backwards, 5u);
    EXPECT_GE(gaps, 5u);
}

// A camera that answers the first request with fixed bytes, then only reads
// until the client goes away.
class RawCamera {
public:
    explicit RawCamera(std::string response) : m_response(std::move(response))
    {
        m_listener.Listen(platform::ParseIPv4("127.0.0.1"), 0);
        m_thread = std::thread([this] { Serve(); });
    }
    ~RawCamera() { m_thread.join(); }
    uint16_t Port() const { return m_listener.LocalPort(); }
    std::string FirstRequest()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_request;
    }

private:
    void Serve()
    {
        platform::TcpSocket connection = m_listener.Accept(kWaitMs);
        char buffer[4096];
        const int length = connection.Receive(buffer, sizeof buffer);
        if (length > 0) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_request.assign(buffer, static_cast<size_t>(length));
        }
        connection.SendAll(m_response.data(), m_response.size());
        connection.SetReceiveTimeout(100);
        for (int idle = 0; idle < 100 && connection.Receive(buffer, sizeof buffer) != 0; ++idle) {
        }
    }

    platform::TcpSocket m_listener;
    std::string m_response;
    std::mutex m_mutex;
    std::string m_request;
    std::thread m_thread;
};

class RtspSessionRaw : public ::testing::Test {
protected:
    RtspSessionRaw() : client(&driver)
    {
        user.acceptDescription = false;
        settings.address = "127.0.0.1";
        settings.path = "cam";
    }
    ~RtspSessionRaw() override { client.Stop(); }

    test::FakeDriver driver;
    RecordingUser user;
    RTSPClientSettings settings;
    CBaseRTSPClient client;
};

TEST_F(RtspSessionRaw, HeaderSectionBeyond512BytesIsParsedFromItsFirst512)
{
    const std::string sdp = "m=video 0 RTP/AVP 26\r\na=control:trackID=1\r\n";
    // The Content-Base and Content-Length come after byte 512 and are never seen.
    RawCamera camera("RTSP/1.0 200 OK\r\nCSeq: 1\r\nServer: " + std::string(520, 'x') +
                     "\r\nContent-Base: rtsp://elsewhere/\r\nContent-Length: " + std::to_string(sdp.size()) +
                     "\r\n\r\n" + sdp);
    settings.serverPort = camera.Port();
    settings.receiveTimeoutMs = 500;
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::UDP));
    ASSERT_TRUE(WaitUntil([&] { return user.Closed() == 1; }));
    client.Stop();
    EXPECT_EQ(camera.FirstRequest().rfind("DESCRIBE rtsp://127.0.0.1:", 0), 0u);
    EXPECT_EQ(user.Descriptions(), 1u);
    EXPECT_EQ(user.Description().Video().control, "");
    EXPECT_EQ(client.BaseUrl(), "rtsp://127.0.0.1:" + std::to_string(settings.serverPort) + "/cam");
}

TEST_F(RtspSessionRaw, HugeContentLengthIsReadOnlyUpToTheResponseLimit)
{
    std::string body;
    while (body.size() < 200000)
        body += "x=" + std::string(60, 'y') + "\r\n";
    RawCamera camera("RTSP/1.0 200 OK\r\nCSeq: 1\r\nContent-Length: 999999999\r\n\r\n" + body);
    settings.serverPort = camera.Port();
    settings.receiveTimeoutMs = 30000;  // the camera keeps the connection open
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::UDP));
    // The description arrives once the limit is read, long before the receive time-out.
    EXPECT_TRUE(WaitUntil([&] { return user.Descriptions() == 1; }, 10000));
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
    uint16_t port = 0;
    for (uint16_t candidate = 43000 + static_cast<uint16_t>(getpid() % 1000) * 2; candidate < 60000 && port == 0;
         candidate += 2)
        port = receiver.StartUnicast(0, candidate) ? candidate : 0;
    ASSERT_NE(port, 0);
    settings.clientRtpPort = port;
    settings.clientRtcpPort = port + 1u;
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::UDP));
    ASSERT_TRUE(WaitUntil([&] { return HasRequest(Recorded(), "OPTIONS", 3); }, 10000));
    const size_t packets = user.Packets();
    ASSERT_TRUE(WaitUntil([&] { return user.Packets() > packets + 5; }));
    EXPECT_EQ(server.Recorder().SessionsExpired(), 0u);
    EXPECT_TRUE(client.LastRequestSucceeded());
    EXPECT_EQ(client.SessionTimeoutS(), 3u);
    EXPECT_NE(Recorded().Requests()[1].find("SETUP " + server.BaseUrl() + "trackID=1 "), std::string::npos);
    client.Stop();
    receiver.Stop();
}

TEST_F(RtspSession, SessionWithoutKeepAliveExpires)
{
    server.Options().auth = camsim::RtspAuth::None;
    server.Options().sessionTimeoutS = 1;
    server.Options().expireSessions = true;
    StartServer();
    // Interleaved reading holds the client thread: no keep-alive goes out meanwhile.
    ASSERT_TRUE(client.Start(settings, &user, RTSPTransportMode::Interleaved));
    ASSERT_TRUE(WaitUntil([&] { return server.Recorder().SessionsExpired() == 1; }));
    // The keep-alive after the reading loop ends meets the expired session.
    ASSERT_TRUE(WaitUntil([&] { return HasRequest(Recorded(), "OPTIONS"); }));
    ASSERT_TRUE(WaitUntil([&] { return !client.LastRequestSucceeded(); }));
}
