// The host's calls stay bounded and nothing reaches it while the camera's
// HTTP interface hangs, answers late, refuses every credential or cannot be
// found: video channels, PTZ commands, I/O, capability queries and closing the
// driver. The channels never get as far as RTSP, so no camera listens on port
// 554 here.
#include <algorithm>
#include <random>
#include <thread>

#include "FaultFixture.h"
#include "tallowcam/IOInterfaces.h"

namespace korvane::test {
namespace {

class HttpFaults : public FaultTest {
protected:
    // The host's calls on a camera that cannot serve it: opening the driver, a
    // main stream, a PTZ move and a capability query, each returning at once.
    void UseTheDriver(const std::string& address = kCameraAddress)
    {
        EXPECT_LT(TimedMs([&] { OpenDriver(address); }), kQuickCallBoundMs);
        EXPECT_LT(TimedMs([&] { EXPECT_TRUE(plugin.StartChannel(H264Request())); }), kQuickCallBoundMs);
        IIPPTZApi* ptz = plugin.Driver().GetPTZDriver()->GetPTZApi(0);
        ASSERT_NE(ptz, nullptr);
        EXPECT_LT(TimedMs([&] { EXPECT_EQ(ptz->StartMove(kPtzMoveDownLeft, 8), kPtzSuccess); }), kQuickCallBoundMs);
        EXPECT_LT(TimedMs([&] { EXPECT_TRUE(StartQuery(address)); }), kQuickCallBoundMs);
    }

    // A capability query from the plug-in, started on the driver's port of address.
    bool StartQuery(const std::string& address)
    {
        m_query = plugin.CreateCapabilityQuery(&m_queryHost);
        const uint16_t port = plugin.params.deviceAddress.port;
        return m_query != nullptr && m_query->Start(address.c_str(), port, "root", "camera", &m_queryHost);
    }

    // The query (the count-th on this host) ended in a failure, not with a result.
    void ExpectQueryFailed(size_t count = 1)
    {
        ASSERT_TRUE(m_queryHost.WaitForOutcomes(count, 4 * kConnectTimeoutMs));  // in its own bounded steps
        EXPECT_EQ(m_queryHost.Outcome().rfind("failed ", 0), 0u) << m_queryHost.Text();
    }

    // Stop, close and query module deletion are bounded; nothing was delivered.
    void ExpectBoundedEnd()
    {
        ExpectBoundedStop(0);
        EXPECT_LT(TimedMs([&] { m_query.reset(); }), kStopBoundMs);
        EXPECT_LT(TimedMs([&] { plugin.Close(); }), kStopBoundMs);
        EXPECT_EQ(plugin.frames.FrameCount(), 0u);
        EXPECT_EQ(plugin.frames.Allocations(), 0u);
    }

    CapabilityHost m_queryHost;
    tallowcam_host::PluginLibrary::QueryPtr m_query;
};

// A camera that takes every request and never answers, then a name under
// .invalid, which never resolves.
TEST_F(HttpFaults, ACameraThatNeverAnswersOrIsNotFoundCannotHoldUpTheHost)
{
    StartCamera(false);
    camera->Http().SetFault(camsim::HttpFault::NeverReply);
    UseTheDriver();
    // The channel writes its settings first: the request is taken and never answered.
    ASSERT_TRUE(WaitUntil([&] { return !CameraRequests().empty(); }, kQuickCallBoundMs + kPortProbeMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(plugin.ChannelState(), 2u);
    ExpectBoundedEnd();
    ExpectQueryFailed();

    UseTheDriver("camera.invalid");
    ExpectQueryFailed(2);
    EXPECT_TRUE(WaitUntil([&] { return plugin.ChannelState() == 2; }, kStopBoundMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // a few rounds of retrying
    ExpectBoundedEnd();
}

TEST_F(HttpFaults, RefusedCredentialsAreNotAnsweredWithAStorm)
{
    StartCamera(false, [](camsim::CameraOptions& options) {
        options.auth.user = "root";
        options.auth.password = "not the host's";
        options.auth.schemes = {camsim::AuthScheme::Digest, camsim::AuthScheme::Basic};
    });
    UseTheDriver();
    ExpectQueryFailed();
    const auto since = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    const std::vector<std::string> requests = CameraRequests();
    const size_t settings = std::count_if(requests.begin(), requests.end(), [](const std::string& target) {
        return target.find("dh03") != std::string::npos;
    });
    // Each round of the channel: one request, and once the retry with the
    // camera's scheme; then a pause of 1 s.
    const uint64_t rounds = ElapsedMs(since) / 1000 + 2;
    EXPECT_GE(settings, 2u) << "the channel goes on trying";
    EXPECT_LE(settings, 2 * rounds);
    EXPECT_EQ(plugin.ChannelState(), 2u);
    ExpectBoundedEnd();
}

// Every owner of a sender, stopped at random moments, before, during and between the
// requests of a camera that answers each one late: no stop waits for a request.
TEST_F(HttpFaults, EveryStopEndsAtOnceWhateverItsMoment)
{
    constexpr uint32_t kReplyDelayMs = 1500;
    StartCamera(false).Http().SetFault(camsim::HttpFault::SlowReply, kReplyDelayMs);
    plugin.params.captureInfo.inputCount = plugin.params.captureInfo.outputCount = 1;
    OpenDriver();
    SettableStreamRequest withMotion = H264Request();
    withMotion.rate.motionDetection = 1;
    struct Owner {
        const char* name;
        std::function<void()> start, stop;
    };
    const Owner owners[] = {
        {"video and motion channels", [&] { plugin.StartChannel(withMotion); }, [&] { plugin.Video().StopChannel(0); }},
        {"digital I/O", [&] { plugin.Driver().GetIOApi()->StartIO(); }, [&] { plugin.Driver().GetIOApi()->StopIO(); }},
        {"capability query", [&] { StartQuery(kCameraAddress); }, [&] { m_query.reset(); }},
        {"clock synchronisation (the driver's close)", [&] { OpenDriver(); }, [&] { plugin.Close(); }},
    };
    std::mt19937 random(std::random_device{}());
    for (const Owner& owner : owners) {
        for (int round = 0; round < 4; ++round) {
            owner.start();
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % (kReplyDelayMs + 500)));
            EXPECT_LT(TimedMs(owner.stop), 1000u) << owner.name << ", round " << round;
        }
    }
}

}  // namespace
}  // namespace korvane::test
