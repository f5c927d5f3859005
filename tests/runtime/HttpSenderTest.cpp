// End-to-end tests of the HTTP sender and the GET helpers against the camera simulator.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <tuple>
#include <vector>

#include "camsim/Camera.h"
#include "platform/Network.h"
#include "platform/TcpSocket.h"
#include "runtime/Events.h"
#include "runtime/HttpSender.h"
#include "runtime/RequestHelpers.h"
#include "runtime/StopScope.h"
#include "support/WaitUntil.h"

namespace korvane::test {
namespace {

using camsim::AuthScheme;
using camsim::HttpFault;
using HUtils::RequestGetRD;
using HUtils::RequestGetText;

constexpr char kInfoPath[] = "/-wvhttp-01-/info.cgi";

camsim::CameraOptions Options(std::vector<AuthScheme> schemes = {}, bool tls = false)
{
    camsim::CameraOptions options;
    options.tls = tls;
    options.auth = {"root", "secret", std::move(schemes)};
    return options;
}

struct Camera : camsim::Camera {
    explicit Camera(const camsim::CameraOptions& options = Options()) : camsim::Camera(options)
    {
        EXPECT_TRUE(Start());
    }

    DEVICE_INFO Device(uint32_t timeoutMs = 2000, bool withUser = true) const
    {
        DEVICE_INFO device = DeviceInfo();
        device.requestTimeoutMs = timeoutMs;
        if (!withUser)
            device.userName.clear();
        return device;
    }
};

std::string Label(const DEVICE_INFO& device) { return "device 127.0.0.1:" + std::to_string(device.port); }

// A request as one line: method, target and the named headers.
std::string Summary(const camsim::RecordedRequest& request, std::initializer_list<const char*> headers)
{
    std::string text = request.method + " " + request.target;
    for (const char* name : headers)
        text += std::string(" ") + name + "=" + request.Header(name);
    return text;
}

// A result as one line: "code/severity text".
std::string Summary(const CResultDef& result)
{
    return std::to_string(result.m_code) + "/" + std::to_string(result.m_severity) + " " + result.m_text;
}

// The scheme of each request's Authorization header with its space, in order ("" for none).
std::vector<std::string> Schemes(const camsim::RequestLog& log)
{
    std::vector<std::string> schemes;
    for (const auto& request : log.All())
        schemes.push_back(request.Header("Authorization").substr(0, request.Header("Authorization").find(' ') + 1));
    return schemes;
}

TEST(HttpSender, SendsGetsAndPostsAsGivenAndMapsErrorsToTheirCodes)
{
    Camera camera;
    Web::CHttpSender sender(camera.Device(2000, false));
    EXPECT_EQ(sender.GetDataAvailable(), 0u);

    std::string text;
    ASSERT_TRUE(RequestGetText(sender, "/-wvhttp-01-/info.cgi?item=c.1.pan", text));
    EXPECT_EQ(text, camera.Model().InfoReply("c.1.pan"));
    EXPECT_EQ(std::make_tuple(sender.GetStatusCode(), sender.GetContentLength(), sender.IsSecure()),
              std::make_tuple(200u, text.size(), false));

    const auto requests = camera.HttpRequests().All();
    ASSERT_EQ(requests.size(), 1u);
    // No user name, no credentials.
    EXPECT_EQ(Summary(requests[0], {"User-Agent", "Authorization", "Accept"}),
              "GET /-wvhttp-01-/info.cgi?item=c.1.pan User-Agent=Korvane::HttpSender Authorization= Accept=");

    ASSERT_TRUE(RequestGetText(sender, "/-wvhttp-01-/info.cgi?item=c.1.tilt", text));
    EXPECT_EQ(camera.HttpRequests().All().back().clientPort, requests[0].clientPort);  // connection kept

    // A chunked body goes out as given, with its length and without transfer encoding.
    Web::CHttpRequest post("/-wvaudio-01-/recv?t=win-a-100&l=100", "POST");
    const std::string chunked = std::string("56\r\n\x02\x00\x00\x00\x00\x0a", 10) + std::string(80, 'a') + "\r\n0\r\n\r\n";
    post.m_body.assign(chunked.begin(), chunked.end());
    post.m_headers = {"Content-Type: application/x-wva-100", "Connection: Keep-Alive"};
    ASSERT_TRUE(sender.Send(post));
    EXPECT_EQ(sender.GetStatusCode(), 200u);
    std::vector<uint8_t> reply;
    EXPECT_EQ(sender.ReadBody(reply), 16u);
    ASSERT_EQ(camera.HttpRequests().Count(), 3u);
    const auto posted = camera.HttpRequests().All().back();
    EXPECT_EQ(posted.body, chunked);
    EXPECT_EQ(Summary(posted, {"Content-Length", "Content-Type", "Transfer-Encoding", "Expect"}),
              "POST /-wvaudio-01-/recv?t=win-a-100&l=100 Content-Length=" + std::to_string(chunked.size()) +
                  " Content-Type=application/x-wva-100 Transfer-Encoding= Expect=");

    // The query is escaped only when asked.
    Web::CHttpRequest unescaped("/-wvhttp-01-/control.cgi?title=a b", "GET");
    unescaped.m_flags = 0;
    ASSERT_TRUE(sender.Send(unescaped));
    ASSERT_TRUE(sender.Send(Web::CHttpRequest("/-wvhttp-01-/control.cgi?title=a%20b", "GET")));
    const auto targets = camera.HttpRequests().Targets();
    EXPECT_EQ(std::vector<std::string>(targets.end() - 2, targets.end()),
              std::vector<std::string>(2, "/-wvhttp-01-/control.cgi?title=a%20b"));

    // Status errors and odd bodies map to their codes.
    const std::string op = "korvane::HUtils::RequestGetRD: ";
    const std::string label = Label(camera.Device());
    std::vector<uint8_t> body;

    camera.Http().SetFault(HttpFault::NoContent);
    EXPECT_EQ(Summary(RequestGetRD(sender, kInfoPath, body)),
              "12/2 " + op + "Incorrect response for request \"" + kInfoPath + "\" from " + label);
    EXPECT_EQ(std::make_pair(sender.GetStatusCode(), sender.GetContentLength()), std::make_pair(204u, 0u));
    camera.Http().SetFault(HttpFault::NotFound);
    EXPECT_EQ(Summary(RequestGetRD(sender, "/missing", body)),
              "9/1 " + op + "The \"/missing\" URL was not found on " + label);
    camera.Http().SetFault(HttpFault::ServerError);
    EXPECT_EQ(Summary(RequestGetRD(sender, kInfoPath, body)), "8/1 " + op + label + " is unable to process \"" +
                                                                  kInfoPath + "\" request. HTTP status code is 500");
    EXPECT_TRUE(body.empty());
    std::vector<uint8_t> unread;
    sender.ReadChunk(unread, 100, true);  // the error body is still waiting: it was not read
    EXPECT_EQ(std::string(unread.begin(), unread.end()), "Internal Server Error");

    // A body without length is read up to one mebibyte.
    camera.Http().SetFault(HttpFault::UnknownLength);
    ASSERT_TRUE(RequestGetRD(sender, kInfoPath, body).IsSuccess());
    EXPECT_EQ(sender.GetContentLength(), 0u);
    EXPECT_EQ(std::string(body.begin(), body.end()), camera.Model().InfoReply(""));
    camera.Http().SetFault(HttpFault::HugeBody);
    ASSERT_TRUE(RequestGetRD(sender, kInfoPath, body).IsSuccess());
    EXPECT_EQ(body.size(), 1048576u);
    camera.Http().SetFault(HttpFault::None);
    EXPECT_TRUE(RequestGetText(sender, kInfoPath, text));

    camera.Http().SetFault(HttpFault::TruncatedBody);
    EXPECT_EQ(RequestGetRD(sender, kInfoPath, body).m_code, 12u);
    EXPECT_EQ(body.size(), camera.Model().InfoReply("").size() / 2);
}

// Basic goes first, never without a user name or in mode five; Digest is learnt from the first refusal and kept.
TEST(HttpSender, CredentialsBasicFirstDigestLearntOnceAndRefusedOnesGiveCodeTen)
{
    Camera camera(Options({AuthScheme::Basic}));
    Web::CHttpSender sender(camera.Device());

    std::string text;
    ASSERT_TRUE(RequestGetText(sender, kInfoPath, text));
    Web::CHttpRequest anonymous(kInfoPath, "GET");
    anonymous.m_authenticationMode = Web::kHttpAuthModeNone;
    ASSERT_TRUE(sender.Send(anonymous));
    EXPECT_EQ(sender.GetStatusCode(), 401u);
    EXPECT_EQ(Schemes(camera.HttpRequests()), (std::vector<std::string>{"Basic ", "", ""}));

    Camera other(Options({AuthScheme::Basic}));
    Web::CHttpSender withoutUser(other.Device(2000, false));
    std::vector<uint8_t> body;
    EXPECT_EQ(RequestGetRD(withoutUser, kInfoPath, body).m_code, 10u);
    // The learning retry, still without credentials.
    EXPECT_EQ(Schemes(other.HttpRequests()), (std::vector<std::string>{"", ""}));

    Camera digest(Options({AuthScheme::Digest, AuthScheme::Basic}));
    digest.Auth().Configure({"root", "secret", {AuthScheme::Digest}});
    Web::CHttpSender learning(digest.Device());
    ASSERT_TRUE(RequestGetText(learning, "/admin/-set-?el=dh10", text));
    EXPECT_EQ(text, "Valdh10=1\r\n");
    EXPECT_EQ(std::make_tuple(learning.GetPreferredScheme(), digest.HttpRequests().Count()), std::make_tuple(8u, 2u));
    ASSERT_TRUE(RequestGetText(learning, kInfoPath, text));
    ASSERT_TRUE(RequestGetText(learning, kInfoPath, text));
    // One refused Basic request, one retry with Digest, then Digest from the first request on.
    EXPECT_EQ(Schemes(digest.HttpRequests()), (std::vector<std::string>{"Basic ", "Digest ", "Digest ", "Digest "}));

    // Wrong passwords for either scheme, and a camera that refuses every request, give code ten without looping.
    const std::tuple<AuthScheme, const char*, HttpFault, size_t> cases[] = {
        {AuthScheme::Basic, "wrong", HttpFault::None, 5}, {AuthScheme::Digest, "wrong", HttpFault::None, 5},
        {AuthScheme::Digest, "secret", HttpFault::AlwaysUnauthorized, 6}};
    for (const auto& [scheme, password, fault, mostRequests] : cases) {
        Camera refusing(Options({scheme}));
        refusing.Http().SetFault(fault);
        DEVICE_INFO device = refusing.Device();
        device.password = password;
        Web::CHttpSender refused(device);
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(Summary(RequestGetRD(refused, kInfoPath, body)),
                      "10/1 korvane::HUtils::RequestGetRD: " + Label(device) + " is unable to process \"" +
                          kInfoPath + "\" request: credentials are invalid");
            EXPECT_EQ(refused.GetStatusCode(), 401u);
        }
        EXPECT_LE(refusing.HttpRequests().Count(), mostRequests);
    }
}

// A port whose connections the system takes and nobody serves; with a full queue of
// connections waiting to be taken, a new one cannot even connect.
class SilentPort {
public:
    explicit SilentPort(bool fullQueue)
    {
        EXPECT_TRUE(m_listener.Create() && m_listener.Listen(platform::ParseIPv4("127.0.0.1"), 0));
        while (fullQueue && m_waiting.size() < 64) {
            m_waiting.emplace_back();
            m_waiting.back().Create();
            if (!m_waiting.back().Connect(platform::ParseIPv4("127.0.0.1"), Port(), 100))
                break;
        }
    }
    uint16_t Port() const { return m_listener.LocalPort(); }

private:
    platform::TcpSocket m_listener;
    std::vector<platform::TcpSocket> m_waiting;
};

// An unreachable camera gives code eleven. A late reply ends in a time-out, a held one in an abort from another
// thread, and a stopped owner starts no request; each sender stays usable.
TEST(HttpSender, UnreachableCamerasTimeOutsOfEachPhaseAbortsAndStopsEndRequests)
{
    DEVICE_INFO device;
    {
        Camera gone;
        device = gone.Device(1000);
    }
    Web::CHttpSender sender(device);
    std::vector<uint8_t> body;
    EXPECT_EQ(Summary(RequestGetRD(sender, kInfoPath, body)),
              "11/4 korvane::HUtils::RequestGetRD: Cannot send request \"" + std::string(kInfoPath) + "\" to " +
                  Label(device));
    EXPECT_EQ(sender.GetStatusCode(), 0u);

    camsim::CameraOptions options;
    options.httpPort = device.port;
    camsim::Camera back(options);
    ASSERT_TRUE(back.Start());
    std::string text;
    EXPECT_TRUE(RequestGetText(sender, kInfoPath, text));

    Camera camera;
    camera.Http().SetFault(HttpFault::SlowReply, 10000);
    Web::CHttpSender slow(camera.Device(300));
    const auto start = Clock::now();
    EXPECT_EQ(RequestGetRD(slow, kInfoPath, body).m_code, 11u);
    EXPECT_LT(ElapsedMs(start), 5000u);  // well before the reply would come

    camera.Http().SetFault(HttpFault::None);
    EXPECT_TRUE(RequestGetText(slow, kInfoPath, text));
    EXPECT_FALSE(slow.IsSecure());

    camera.Http().SetFault(HttpFault::NeverReply);
    Web::CHttpSender held(camera.Device(20000));
    const size_t before = camera.HttpRequests().Count();
    auto running = std::async(std::launch::async, [&] {
        const bool sent = held.Send(Web::CHttpRequest(kInfoPath, "GET"));
        return std::make_pair(sent, Clock::now());
    });
    ASSERT_TRUE(camera.HttpRequests().WaitForCount(before + 1, 5000));
    const auto aborted = Clock::now();
    held.Abort();
    ASSERT_EQ(running.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const auto [sent, ended] = running.get();
    EXPECT_FALSE(sent);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(ended - aborted).count(), 1000);
    EXPECT_EQ(camera.HttpRequests().Count(), before + 1);  // no protocol fallback after an abort
    camera.Http().SetFault(HttpFault::None);
    EXPECT_TRUE(RequestGetText(held, kInfoPath, text));

    // No phase borrows another's time: an accepted, never answered request costs the wait for
    // the reply plus, on the HTTPS retry, the wait for the handshake; a connection that is
    // never accepted costs the connect time-out alone.
    constexpr uint64_t kTimeoutMs = 1000;
    for (const auto& [fullQueue, phases] : {std::pair{false, 2ull}, std::pair{true, 1ull}}) {
        SilentPort silent(fullQueue);
        DEVICE_INFO silentDevice;
        silentDevice.address = "127.0.0.1";
        silentDevice.port = silent.Port();
        silentDevice.requestTimeoutMs = kTimeoutMs;
        Web::CHttpSender silentSender(silentDevice);
        const auto started = Clock::now();
        EXPECT_FALSE(silentSender.Send(Web::CHttpRequest(kInfoPath, "GET")));
        EXPECT_GE(ElapsedMs(started), phases * kTimeoutMs - 50) << fullQueue;
        EXPECT_LT(ElapsedMs(started), phases * kTimeoutMs + kTimeoutMs / 2) << fullQueue;
    }

    CManualEvent stop;
    CStopScope scope([&] { return stop.IsSet(); });
    ASSERT_TRUE(RequestGetText(slow, kInfoPath, text));
    stop.Set();  // the owner stops, and aborts, before its next request begins
    slow.Abort();
    EXPECT_FALSE(RequestGetText(slow, kInfoPath, text));
    EXPECT_EQ(camera.HttpRequests().Count(), before + 3);
}

TEST(HttpSender, VerifiesTheCertificateUnlessAskedNotToAndFallsBackToHttpsOnce)
{
    Camera camera(Options({AuthScheme::Basic}, true));
    Web::CHttpSender verifying(camera.Device());
    Web::CHttpRequest request(kInfoPath, "GET");
    request.m_flags &= ~Web::kHttpFlagAnyCertificate;
    EXPECT_FALSE(verifying.Send(request));  // the simulator's certificate is self-signed
    EXPECT_EQ(camera.HttpRequests().Count(), 0u);
    EXPECT_FALSE(verifying.IsSecure());
    EXPECT_TRUE(verifying.Send(Web::CHttpRequest(kInfoPath, "GET")));
    EXPECT_EQ(camera.HttpRequests().Count(), 1u);

    const size_t failedHandshakes = camera.Http().FailedHandshakes();
    Web::CHttpSender sender(camera.Device());
    std::string text;
    ASSERT_TRUE(RequestGetText(sender, kInfoPath, text));
    EXPECT_TRUE(sender.IsSecure());
    EXPECT_EQ(camera.Http().FailedHandshakes(), failedHandshakes + 1);  // the plain HTTP attempt
    ASSERT_TRUE(RequestGetText(sender, kInfoPath, text));
    EXPECT_EQ(camera.Http().FailedHandshakes(), failedHandshakes + 1);
    const auto requests = camera.HttpRequests().All();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(requests[1].secure && requests[2].secure);
}

TEST(HttpSender, PortFourFourThreeStartsWithHttps)
{
    // Port 443 needs privileges and may be taken: try a few loopback addresses.
    for (const char* address : {"127.0.0.1", "127.0.0.44", "127.0.0.143"}) {
        camsim::CameraOptions options = Options({}, true);
        options.address = address;
        options.httpPort = 443;
        camsim::Camera camera(options);
        if (!camera.Start())
            continue;
        Web::CHttpSender sender(camera.DeviceInfo());
        EXPECT_TRUE(sender.IsSecure());
        std::string text;
        ASSERT_TRUE(RequestGetText(sender, kInfoPath, text));
        EXPECT_EQ(std::make_tuple(sender.IsSecure(), camera.Http().FailedHandshakes(), camera.HttpRequests().Count()),
                  std::make_tuple(true, 0u, 1u));
        return;
    }
    GTEST_SKIP() << "no loopback address with a free port 443";
}

}  // namespace
}  // namespace korvane::test
