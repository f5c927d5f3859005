// Capability queries against simulated cameras, recorded by a CapabilityHost,
// through the query module and the plug-in's exported functions.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "camsim/Camera.h"
#include "capabilities/CameraReply.h"
#include "capabilities/CanonCapabilityQueryModule.h"
#include "platform/DynamicLibrary.h"
#include "support/CapabilityHost.h"
#include "support/TestData.h"
#include "support/WaitUntil.h"
#include "tallowcam/CapabilityQuery.h"
#include "tallowcam/CapabilityQueryExports.h"

using namespace korvane;
using namespace korvane::test;

namespace {

constexpr const char* kCameraUser = "root";
constexpr const char* kCameraPassword = "camera";
// Longer than any query against loopback needs, short enough to end a hung test.
constexpr uint32_t kOutcomeTimeoutMs = 20000;
// The failure of a query that Terminate ended.
const char* const kAborted = "Failed to get camera properties: Capability search query was aborted";

// A camera without PTZ, audio or a second stream, at most 15 frames per second.
camsim::CameraConfig FixedCamera()
{
    camsim::CameraConfig config;
    config.model = "VB-S30D";
    config.firmware = "Ver. 1.1.0";
    config.macAddress = "00:1e:8f:aa:bb:01";
    config.videoList = {"h264:640x480", "h264:1280x960", "mpeg4:640x480", "h264:320x240"};
    config.pan = config.tilt = config.zoom = config.focus = false;
    config.inputs = config.outputs = 1;
    config.audioChannels = 0;
    config.secondStream = false;
    config.lowFrameRate = true;
    return config;
}

class CapabilityQueryTest : public ::testing::Test {
protected:
    // A running camera with the given model that accepts root/camera with Basic.
    camsim::Camera& StartCamera(const camsim::CameraConfig& config = {})
    {
        camsim::CameraOptions options;
        options.model = config;
        options.auth = {kCameraUser, kCameraPassword, {camsim::AuthScheme::Basic}};
        m_camera = std::make_unique<camsim::Camera>(options);
        EXPECT_TRUE(m_camera->Start());
        return *m_camera;
    }
    // Starts the query on the camera's port and waits for its outcome.
    void Query(ipcapture::IIPCapabilityQuery& module, CapabilityHost& host, const char* address = "127.0.0.1",
               const char* password = kCameraPassword)
    {
        ASSERT_TRUE(module.Start(address, Port(), kCameraUser, password, &host));
        ASSERT_TRUE(host.WaitForOutcome(kOutcomeTimeoutMs));
    }
    // Runs a Canon query module with video standard 30 on the camera.
    void Query(CapabilityHost& host, const char* address = "127.0.0.1", const char* password = kCameraPassword)
    {
        CCanonCapabilityQueryModule module(&host, true);
        Query(module, host, address, password);
    }
    // Runs a Canon query that fails with this status and message.
    void ExpectFailure(uint32_t status, const std::string& message, const char* address = "127.0.0.1",
                       const char* password = kCameraPassword)
    {
        CapabilityHost host;
        Query(host, address, password);
        EXPECT_EQ(host.Outcome(), CapabilityHost::FailureLine(status, message.c_str()));
    }
    // The recorded text equals tests/data/capabilities/<name>.txt with "{port}"
    // standing for the camera's port; a different text is left in the working
    // directory as <name>.actual.txt for comparison.
    void ExpectRecording(const CapabilityHost& host, const std::string& name) const
    {
        const std::string port = std::to_string(Port());
        const std::string expected = ReplaceAll(ReadTestData("capabilities/" + name + ".txt") + "\n", "{port}", port);
        EXPECT_EQ(host.Text(), expected) << name;
        if (host.Text() != expected) {
            std::ofstream(name + ".actual.txt", std::ios::binary)
                << ReplaceAll(host.Text(), "connection 2 = \"" + port + "\"", "connection 2 = \"{port}\"");
        }
    }
    uint16_t Port() const { return m_camera->HttpPort(); }
    camsim::Camera& Camera() { return *m_camera; }

private:
    std::unique_ptr<camsim::Camera> m_camera;
};

TEST_F(CapabilityQueryTest, CameraTypesOnTheirHostsAndTheQueriesThatFail)
{
    camsim::CameraConfig fullHd = FixedCamera();
    fullHd.model = "VB-M641V";
    fullHd.videoList = {"h264:1280x720", "h264:1920x1080"};
    fullHd.audioChannels = 1;
    fullHd.inputs = 0;
    fullHd.outputs = 2;
    fullHd.lowFrameRate = false;
    fullHd.maxQuality = 10;
    camsim::CameraConfig twoStreams = FixedCamera();
    twoStreams.model = "VB-H43";
    twoStreams.videoList = {"h264:1920x1080", "h264:640x480"};
    twoStreams.secondStream = true;
    twoStreams.lowFrameRate = false;
    camsim::CameraConfig panOnly;  // pan without tilt is no PTZ
    panOnly.tilt = false;
    // Recording, camera, the host core library loaded (if any), video standard 30.
    const std::tuple<const char*, camsim::CameraConfig, const char*, bool> cases[] = {
        {"type2", fullHd, VEXHOST_64_PATH, false},
        {"type3", twoStreams, VEXHOST_61_PATH, true},
        {"ptz", {}, VEXHOST_61_PATH, true},  // the simulator's default: zoom, focus, iris, JPEG and H.264
        {"pan-without-tilt", panOnly, nullptr, true},
    };
    for (const auto& [recording, config, hostLibrary, videoStandard30] : cases) {
        SCOPED_TRACE(recording);
        platform::DynamicLibrary hostCore;
        ASSERT_TRUE(hostLibrary == nullptr || hostCore.Load(hostLibrary));
        StartCamera(config);
        CapabilityHost host;
        CCanonCapabilityQueryModule module(&host, videoStandard30);
        Query(module, host);
        ExpectRecording(host, recording);
    }

    camsim::CameraConfig withoutCodecs = FixedCamera();
    withoutCodecs.videoList = {"raw:640x480"};
    StartCamera(withoutCodecs);
    ExpectFailure(ipcapture::kCapabilityStatusOther, "Failed to save capability query results");

    // A fixed camera of type 1, and the queries that fail.
    StartCamera(FixedCamera());
    CapabilityHost host;
    Query(host);
    ExpectRecording(host, "type1");
    EXPECT_EQ(Camera().HttpRequests().Targets(),
              (std::vector<std::string>{"/admin/-set-?el=ra02", "/-wvhttp-01-/info.cgi", "/admin/-set-?el=dh10",
                                        "/admin/-set-?tl=dh04", "/admin/-set-?el=ra02", "/admin/-set-?tl=dh01"}));

    // Refused credentials stop after the first request.
    Camera().HttpRequests().Clear();
    ExpectFailure(ipcapture::kCapabilityStatusCredentials,
                  "Failed to get camera properties, login failed (invalid credentials)", "127.0.0.1", "wrong");
    EXPECT_EQ(Camera().HttpRequests().Targets(), std::vector<std::string>{"/admin/-set-?el=ra02"});

    // Addresses with forbidden characters are refused without a request.
    Camera().HttpRequests().Clear();
    for (const char* address : {"127.0.0.1:80", "root@127.0.0.1", "cam/x", "a;b", "a b?", "x\"y", "host!", "a\\b"}) {
        SCOPED_TRACE(address);
        ExpectFailure(ipcapture::kCapabilityStatusOther,
                      "Failed to start capability fetching thread. Device address is invalid!", address);
    }
    EXPECT_EQ(Camera().HttpRequests().Count(), 0u);

    // HTTP errors give their status.
    Camera().Http().SetFault(camsim::HttpFault::NotFound);
    ExpectFailure(ipcapture::kCapabilityStatusNotFound, "Failed to get camera properties");
    Camera().Http().SetFault(camsim::HttpFault::ServerError);
    ExpectFailure(ipcapture::kCapabilityStatusOther,
                  "Failed to get camera properties: korvane::HUtils::RequestGetRD: device 127.0.0.1:" +
                      std::to_string(Port()) +
                      " is unable to process \"/-wvhttp-01-/info.cgi\" request. HTTP status code is 500");
    Camera().Http().SetFault(camsim::HttpFault::None);

    // Unusable information replies fail the query.
    const std::vector<std::string> unusable = ReadTestDataLines("capabilities/unusable-replies.txt");
    EXPECT_EQ(unusable.size(), 6u);
    camsim::CameraModel& model = Camera().Model();
    for (const std::string& row : unusable) {
        SCOPED_TRACE(row);
        const std::vector<std::string> fields = Split(row, '|');  // key, value, message
        ASSERT_EQ(fields.size(), 3u);
        const std::string original = model.Info(fields[0]);
        if (fields[1] == "(missing)")
            model.RemoveInfo(fields[0]);
        else
            model.SetInfo(fields[0], fields[1]);
        ExpectFailure(ipcapture::kCapabilityStatusOther, fields[2]);
        model.SetInfo(fields[0], original);
    }

    // Garbage lines and missing optional keys are ignored: a type without two numbers
    // counts as 30 frames per second.
    model.SetInfo("s.firmware", "Ver. 2\r\n\r\ngarbage without separator\r\n:=orphan\r\n=\x01\x02\r\nc.count");
    model.SetInfo("c.count", "0");
    for (const char* key : {"a.count", "i.count", "o.count"})
        model.RemoveInfo(key);
    model.RemoveSetting("ra02");
    model.SetSettingType("dh04", "garbage");
    model.SetSettingType("dh01", "int%281%2Cx%29");
    CapabilityHost garbage;
    Query(garbage);
    ExpectRecording(garbage, "garbage-ignored");

    Camera().Stop();
    ExpectFailure(ipcapture::kCapabilityStatusUnreachable,
                  "Failed to get camera properties, device is offline or is located in unaccessible subnet");
}

// Starts the module again from its first failure callback.
class RestartingHost : public CapabilityHost {
public:
    void OnFailed(uint32_t status, const char* message) override
    {
        if (!restarted.has_value())
            restarted = module->Start("127.0.0.1", port, kCameraUser, kCameraPassword, this);
        CapabilityHost::OnFailed(status, message);
    }
    ipcapture::IIPCapabilityQuery* module = nullptr;
    uint16_t port = 0;
    std::optional<bool> restarted;
};

// Deletes the module from inside its completion callback.
class DeletingHost : public CapabilityHost {
public:
    void OnCompleted() override
    {
        delete module;
        module = nullptr;
        CapabilityHost::OnCompleted();
    }
    ipcapture::IIPCapabilityQuery* module = nullptr;
};

// The plug-in's function of this name.
template <typename Function>
Function Export(platform::DynamicLibrary& plugin, const char* name)
{
    const auto function = reinterpret_cast<Function>(plugin.Symbol(name));
    EXPECT_NE(function, nullptr) << name;
    return function;
}

// The query module's life, on its own and through the plug-in's exported plain functions.
TEST_F(CapabilityQueryTest, ModuleLifecycleAndThePluginsModuleObjectsAndGlobalModule)
{
    platform::DynamicLibrary plugin;
    ASSERT_TRUE(plugin.Load(TALLOWCAM_PLUGIN_PATH));
    const auto create = Export<decltype(&CreateCapabilityQueryModule)>(plugin, "CreateCapabilityQueryModule");
    const auto destroy = Export<decltype(&DeleteCapabilityQueryModule)>(plugin, "DeleteCapabilityQueryModule");
    const auto init = Export<decltype(&InitCapabilityQuery)>(plugin, "InitCapabilityQuery");
    const auto start = Export<decltype(&StartCapabilityQuery)>(plugin, "StartCapabilityQuery");
    const auto terminate = Export<decltype(&TerminateCapabilityQuery)>(plugin, "TerminateCapabilityQuery");
    const auto uninit = Export<decltype(&UninitCapabilityQuery)>(plugin, "UninitCapabilityQuery");
    StartCamera(FixedCamera());

    // Missing arguments are refused.
    CapabilityHost callback;
    CCanonCapabilityQueryModule module(&callback, true);
    EXPECT_FALSE(module.Start(nullptr, Port(), kCameraUser, kCameraPassword, &callback));
    EXPECT_FALSE(module.Start("127.0.0.1", Port(), nullptr, kCameraPassword, &callback));
    EXPECT_FALSE(module.Start("127.0.0.1", Port(), kCameraUser, nullptr, &callback));
    EXPECT_EQ(callback.Outcome(), "");
    ASSERT_TRUE(module.Start("127.0.0.1", Port(), kCameraUser, kCameraPassword, nullptr));
    ASSERT_TRUE(callback.WaitForOutcomes(1, kOutcomeTimeoutMs));
    EXPECT_EQ(callback.Outcome(),
              CapabilityHost::FailureLine(ipcapture::kCapabilityStatusOther,
                                          "Failed to start capability fetching thread. Internal error occurs"));

    // A finished module can start again.
    module.Terminate();  // joins the finished worker
    CapabilityHost refused;
    ASSERT_TRUE(module.Start("127.0.0.1", Port(), kCameraUser, "wrong", &refused));
    ASSERT_TRUE(callback.WaitForOutcomes(2, kOutcomeTimeoutMs));
    EXPECT_EQ(callback.Outcome(),
              CapabilityHost::FailureLine(ipcapture::kCapabilityStatusCredentials,
                                          "Failed to get camera properties, login failed (invalid credentials)"));
    module.Terminate();
    CapabilityHost accepted;
    ASSERT_TRUE(module.Start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &accepted));
    ASSERT_TRUE(callback.WaitForOutcomes(3, kOutcomeTimeoutMs));
    EXPECT_EQ(callback.Outcome(), "completed");
    EXPECT_EQ(refused.Text(), "");
    EXPECT_NE(accepted.Text().find("device name = \"Canon VB-S30D\"\n"), std::string::npos) << accepted.Text();

    // A module without a callback still saves its results.
    CapabilityHost results;
    CCanonCapabilityQueryModule silent(nullptr, true);
    ASSERT_TRUE(silent.Start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &results));
    ASSERT_TRUE(WaitUntil([&] { return results.Text().find("parameter 7 ") != std::string::npos; }, kOutcomeTimeoutMs));
    silent.Terminate();
    EXPECT_NE(results.Text().find("parameter 7 "), std::string::npos) << results.Text();
    EXPECT_EQ(results.Outcome(), "");

    // The host may delete the module from its callback.
    DeletingHost deleting;
    deleting.module = new CCanonCapabilityQueryModule(&deleting, true);
    ASSERT_TRUE(deleting.module->Start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &deleting));
    ASSERT_TRUE(deleting.WaitForOutcome(kOutcomeTimeoutMs));
    EXPECT_EQ(deleting.Outcome(), "completed");
    EXPECT_EQ(deleting.module, nullptr);

    // A module object from the factory.
    CapabilityHost host;
    ipcapture::IIPCapabilityQuery* created = create(&host, 1);
    ASSERT_NE(created, nullptr);
    Query(*created, host);
    ExpectRecording(host, "type1");
    destroy(created);
    destroy(nullptr);

    // The global module.
    CapabilityHost first;
    EXPECT_EQ(start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &first), 0);  // no module yet
    EXPECT_EQ(terminate(), 1);
    EXPECT_EQ(init(&first, 1), 1);
    CapabilityHost other;
    EXPECT_EQ(init(&other, 0), 0);  // keeps the first module
    EXPECT_EQ(start(nullptr, Port(), kCameraUser, kCameraPassword, &first), 0);
    EXPECT_EQ(start("127.0.0.1", Port(), nullptr, kCameraPassword, &first), 0);
    EXPECT_EQ(start("127.0.0.1", Port(), kCameraUser, nullptr, &first), 0);
    ASSERT_EQ(start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &first), 1);
    ASSERT_TRUE(first.WaitForOutcome(kOutcomeTimeoutMs));
    ExpectRecording(first, "type1");  // reported to the first callback, video standard 1
    EXPECT_EQ(other.Outcome(), "");
    EXPECT_EQ(terminate(), 1);
    EXPECT_EQ(uninit(), 1);
    EXPECT_EQ(start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &first), 0);
    EXPECT_EQ(uninit(), 1);

    // Terminate aborts a slow request.
    Camera().HttpRequests().Clear();
    Camera().Http().SetFault(camsim::HttpFault::NeverReply);
    RestartingHost restarting;
    CCanonCapabilityQueryModule slow(&restarting, true);
    restarting.module = &slow;
    restarting.port = Port();
    ASSERT_TRUE(slow.Start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &restarting));
    ASSERT_TRUE(Camera().HttpRequests().WaitForCount(1, kOutcomeTimeoutMs));
    EXPECT_FALSE(slow.Start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &restarting));  // still running
    slow.Terminate();
    ASSERT_EQ(restarting.Outcome(), CapabilityHost::FailureLine(ipcapture::kCapabilityStatusOther, kAborted));
    EXPECT_EQ(restarting.restarted, std::optional<bool>(false)) << "no second worker while Terminate waits for the first";
    EXPECT_EQ(restarting.Text().find("timeout\n"), std::string::npos) << restarting.Text();
    EXPECT_EQ(Camera().HttpRequests().Count(), 1u);
    slow.Terminate();  // nothing left to stop

    // The global module runs one query at a time and terminates.
    Camera().HttpRequests().Clear();
    CapabilityHost queued;
    ASSERT_EQ(init(&queued, 0), 1);
    ASSERT_EQ(start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &queued), 1);
    ASSERT_TRUE(Camera().HttpRequests().WaitForCount(1, kOutcomeTimeoutMs));
    EXPECT_EQ(start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &queued), 0);
    EXPECT_EQ(terminate(), 1);
    ASSERT_EQ(queued.Outcome(), CapabilityHost::FailureLine(ipcapture::kCapabilityStatusOther, kAborted));
    EXPECT_EQ(uninit(), 1);
}

}  // namespace
