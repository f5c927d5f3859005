#include <gtest/gtest.h>

#include <optional>

#include "CapabilityQueryFixture.h"
#include "HostVersion.h"
#include "capabilities/CanonCapabilityQueryModule.h"

using namespace korvane;
using namespace korvane::test;

namespace {


std::string PtzParameter(const CapabilityHost& host)
{
    const std::string text = host.Text();
    const std::string marker = "parameter 5 \"PTZ Capabilities\" (text, attribute 0) = ";
    const size_t at = text.find(marker);
    return at == std::string::npos ? std::string() : text.substr(at + marker.size(), text.find('\n', at) - at - marker.size());
}

}  // namespace

TEST_F(CapabilityQueryTest, FixedCameraOfType1)
{
    StartCamera(FixedCamera());
    CapabilityHost host;
    Query(host);
    ExpectRecording(host, "type1");
    EXPECT_EQ(Camera().HttpRequests().Targets(),
              (std::vector<std::string>{"/admin/-set-?el=ra02", "/-wvhttp-01-/info.cgi", "/admin/-set-?el=dh10",
                                        "/admin/-set-?tl=dh04", "/admin/-set-?el=ra02", "/admin/-set-?tl=dh01"}));
}

TEST_F(CapabilityQueryTest, FullHdCameraOfType2OnAHighRateHost)
{
    HostVersion version(VEXHOST_64_PATH);
    camsim::CameraConfig config = FixedCamera();
    config.model = "VB-M641V";
    config.videoList = {"h264:1280x720", "h264:1920x1080"};
    config.audioChannels = 1;
    config.inputs = 0;
    config.outputs = 2;
    config.lowFrameRate = false;
    config.maxQuality = 10;
    StartCamera(config);
    CapabilityHost host;
    CCanonCapabilityQueryModule module(&host, false);
    Query(module, host);
    ExpectRecording(host, "type2");
}

TEST_F(CapabilityQueryTest, TwoStreamCameraOfType3)
{
    HostVersion version(VEXHOST_61_PATH);
    camsim::CameraConfig config = FixedCamera();
    config.model = "VB-H43";
    config.videoList = {"h264:1920x1080", "h264:640x480"};
    config.secondStream = true;
    config.lowFrameRate = false;
    StartCamera(config);
    CapabilityHost host;
    Query(host);
    ExpectRecording(host, "type3");
}

TEST_F(CapabilityQueryTest, PtzCameraWithZoomFocusIrisAndThreeStreams)
{
    HostVersion version(VEXHOST_61_PATH);
    StartCamera();  // the simulator's default: a PTZ camera offering JPEG and H.264
    CapabilityHost host;
    Query(host);
    ExpectRecording(host, "ptz");
}

TEST_F(CapabilityQueryTest, PanWithoutTiltIsNoPtz)
{
    camsim::CameraConfig config;
    config.tilt = false;
    StartCamera(config);
    CapabilityHost host;
    Query(host);
    ASSERT_TRUE(host.HasCompleted()) << host.FailureMessage();
    EXPECT_EQ(host.Text().find("value 1 = 1\n"), std::string::npos);
    EXPECT_EQ(PtzParameter(host),
              "\"Pan=1; Tilt=0; Zoom=0; Focus=0; Iris=0; PanSpeed=0-0;TiltSpeed=0-0;ZoomSpeed=0-0;IrisRange=0-0;"
              "Center=0; Unzoom=0; AreaZoom=0; Preset=0\"");
}

TEST_F(CapabilityQueryTest, CameraWithoutCodecsCannotBeSaved)
{
    camsim::CameraConfig config = FixedCamera();
    config.videoList = {"raw:640x480"};
    StartCamera(config);
    CapabilityHost host;
    Query(host);
    EXPECT_EQ(host.FailureStatus(), ipcapture::kCapabilityStatusOther);
    EXPECT_EQ(host.FailureMessage(), "Failed to save capability query results");
}

TEST_F(CapabilityQueryTest, RefusedCredentialsStopAfterTheFirstRequest)
{
    StartCamera(FixedCamera());
    CapabilityHost host;
    Query(host, "127.0.0.1", "wrong");
    EXPECT_EQ(host.FailureStatus(), ipcapture::kCapabilityStatusCredentials);
    EXPECT_EQ(host.FailureMessage(), "Failed to get camera properties, login failed (invalid credentials)");
    EXPECT_EQ(Camera().HttpRequests().Targets(), std::vector<std::string>{"/admin/-set-?el=ra02"});
}

TEST_F(CapabilityQueryTest, OfflineCameraIsUnreachable)
{
    StartCamera(FixedCamera());
    Camera().Stop();
    CapabilityHost host;
    Query(host);
    EXPECT_EQ(host.FailureStatus(), ipcapture::kCapabilityStatusUnreachable);
    EXPECT_EQ(host.FailureMessage(),
              "Failed to get camera properties, device is offline or is located in unaccessible subnet");
}

TEST_F(CapabilityQueryTest, HttpErrorsGiveTheirStatus)
{
    StartCamera(FixedCamera());
    Camera().Http().SetFault(camsim::HttpFault::NotFound);
    CapabilityHost notFound;
    Query(notFound);
    EXPECT_EQ(notFound.FailureStatus(), ipcapture::kCapabilityStatusNotFound);
    EXPECT_EQ(notFound.FailureMessage(), "Failed to get camera properties");

    Camera().Http().SetFault(camsim::HttpFault::ServerError);
    CapabilityHost serverError;
    Query(serverError);
    EXPECT_EQ(serverError.FailureStatus(), ipcapture::kCapabilityStatusOther);
    EXPECT_EQ(serverError.FailureMessage(),
              "Failed to get camera properties: korvane::HUtils::RequestGetRD: device 127.0.0.1:" +
                  std::to_string(Port()) + " is unable to process \"/-wvhttp-01-/info.cgi\" request. HTTP status code is 500");
}

TEST_F(CapabilityQueryTest, UnusableInformationRepliesFailTheQuery)
{
    struct Case {
        const char* key;
        const char* value;  // null: the line is missing
        const char* message;
    };
    const Case cases[] = {
        {"s.hardware", nullptr, "Failed to get camera properties: Unable to parse hardware parameter"},
        {"s.hardware", "", "Failed to get camera properties: Unable to parse hardware parameter"},
        {"s.hardware", "Acme X1", "Failed to save capability query results"},  // no model
        {"v.list", nullptr, "Failed to get camera properties: Unable to parse video settings"},
        {"v.list", "", "Failed to get camera properties: Unable to parse video settings"},
        {"v.list", "h264,jpg", "Failed to get camera properties: Unable to parse video settings"},
    };
    StartCamera(FixedCamera());
    for (const Case& c : cases) {
        camsim::CameraModel& model = Camera().Model();
        const std::string original = model.Info(c.key);
        if (c.value == nullptr)
            model.RemoveInfo(c.key);
        else
            model.SetInfo(c.key, c.value);
        CapabilityHost host;
        Query(host);
        EXPECT_EQ(host.FailureStatus(), ipcapture::kCapabilityStatusOther) << c.key;
        EXPECT_EQ(host.FailureMessage(), c.message) << c.key << " = " << (c.value ? c.value : "(missing)");
        model.SetInfo(c.key, original);
    }
}

TEST_F(CapabilityQueryTest, GarbageLinesAndMissingOptionalKeysAreIgnored)
{
    StartCamera(FixedCamera());
    camsim::CameraModel& model = Camera().Model();
    model.SetInfo("s.firmware", "Ver. 2\r\n\r\ngarbage without separator\r\n:=orphan\r\n=\x01\x02\r\nc.count");
    model.SetInfo("c.count", "0");
    for (const char* key : {"a.count", "i.count", "o.count"})
        model.RemoveInfo(key);
    model.RemoveSetting("ra02");
    model.SetSettingType("dh04", "garbage");
    model.SetSettingType("dh01", "int%281%2Cx%29");
    CapabilityHost host;
    Query(host);
    ASSERT_TRUE(host.HasCompleted()) << host.FailureMessage();
    const std::string text = host.Text();
    EXPECT_NE(text.find("value 0 = 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("parameter 2 \"Firmware\" (text, attribute 0) = \"Ver. 2\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("parameter 4 \"MAC Address\" (text, attribute 0) = \"(none)\"\n"), std::string::npos);
    EXPECT_NE(text.find("parameter 7 \"Max quality value\" (number, attribute 0) = \"0\"\n"), std::string::npos);
    EXPECT_NE(text.find("frame rate 1 33\n"), std::string::npos);  // a type without two numbers: 30 per second
    EXPECT_EQ(text.find("value 2 ="), std::string::npos);
    EXPECT_EQ(text.find("Audio"), std::string::npos);
}

TEST_F(CapabilityQueryTest, AddressesWithForbiddenCharactersAreRefusedWithoutARequest)
{
    StartCamera(FixedCamera());
    for (const char* address : {"127.0.0.1:80", "root@127.0.0.1", "cam/x", "a;b", "a b?", "x\"y", "host!", "a\\b"}) {
        CapabilityHost host;
        Query(host, address);
        EXPECT_EQ(host.FailureStatus(), ipcapture::kCapabilityStatusOther) << address;
        EXPECT_EQ(host.FailureMessage(), "Failed to start capability fetching thread. Device address is invalid!")
            << address;
    }
    EXPECT_EQ(Camera().HttpRequests().Count(), 0u);
}

TEST_F(CapabilityQueryTest, MissingArgumentsAreRefused)
{
    StartCamera(FixedCamera());
    CapabilityHost host;
    CCanonCapabilityQueryModule module(&host, true);
    EXPECT_FALSE(module.Start(nullptr, Port(), kCameraUser, kCameraPassword, &host));
    EXPECT_FALSE(module.Start("127.0.0.1", Port(), nullptr, kCameraPassword, &host));
    EXPECT_FALSE(module.Start("127.0.0.1", Port(), kCameraUser, nullptr, &host));
    EXPECT_FALSE(host.IsFinished());

    ASSERT_TRUE(module.Start("127.0.0.1", Port(), kCameraUser, kCameraPassword, nullptr));
    ASSERT_TRUE(host.WaitForOutcome(kOutcomeTimeoutMs));
    EXPECT_EQ(host.FailureStatus(), ipcapture::kCapabilityStatusOther);
    EXPECT_EQ(host.FailureMessage(), "Failed to start capability fetching thread. Internal error occurs");
}

TEST_F(CapabilityQueryTest, ModuleWithoutCallbackStillSavesItsResults)
{
    StartCamera(FixedCamera());
    CapabilityHost host;
    CCanonCapabilityQueryModule module(nullptr, true);
    ASSERT_TRUE(module.Start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &host));
    ASSERT_TRUE(WaitUntil([&] { return host.Text().find("parameter 7 ") != std::string::npos; }));
    module.Terminate();
    EXPECT_NE(host.Text().find("parameter 7 "), std::string::npos) << host.Text();
    EXPECT_FALSE(host.IsFinished());
}

namespace {

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

}  // namespace

TEST_F(CapabilityQueryTest, TerminateAbortsASlowRequest)
{
    StartCamera(FixedCamera());
    Camera().Http().SetFault(camsim::HttpFault::NeverReply);
    RestartingHost host;
    CCanonCapabilityQueryModule module(&host, true);
    host.module = &module;
    host.port = Port();
    ASSERT_TRUE(module.Start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &host));
    ASSERT_TRUE(Camera().HttpRequests().WaitForCount(1, kOutcomeTimeoutMs));
    EXPECT_FALSE(module.Start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &host));  // still running

    module.Terminate();
    ASSERT_TRUE(host.IsFinished());
    EXPECT_EQ(host.restarted, std::optional<bool>(false)) << "no second worker while Terminate waits for the first";
    EXPECT_FALSE(host.HasTimedOut());
    EXPECT_EQ(host.FailureStatus(), ipcapture::kCapabilityStatusOther);
    EXPECT_EQ(host.FailureMessage(), "Failed to get camera properties: Capability search query was aborted");
    EXPECT_EQ(Camera().HttpRequests().Count(), 1u);
    module.Terminate();  // nothing left to stop
}

TEST_F(CapabilityQueryTest, FinishedModuleCanStartAgain)
{
    StartCamera(FixedCamera());
    CapabilityHost callback;
    CCanonCapabilityQueryModule module(&callback, true);
    CapabilityHost refused;
    ASSERT_TRUE(module.Start("127.0.0.1", Port(), kCameraUser, "wrong", &refused));
    ASSERT_TRUE(callback.WaitForOutcomes(1, kOutcomeTimeoutMs));
    EXPECT_EQ(callback.FailureStatus(), ipcapture::kCapabilityStatusCredentials);
    module.Terminate();  // joins the finished worker

    CapabilityHost accepted;
    ASSERT_TRUE(module.Start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &accepted));
    ASSERT_TRUE(callback.WaitForOutcomes(2, kOutcomeTimeoutMs));
    EXPECT_TRUE(callback.HasCompleted());
    EXPECT_EQ(refused.Text(), "");
    EXPECT_NE(accepted.Text().find("device name = \"Canon VB-S30D\"\n"), std::string::npos) << accepted.Text();
}

namespace {

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

}  // namespace

TEST_F(CapabilityQueryTest, HostMayDeleteTheModuleFromItsCallback)
{
    StartCamera(FixedCamera());
    DeletingHost host;
    host.module = new CCanonCapabilityQueryModule(&host, true);
    ASSERT_TRUE(host.module->Start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &host));
    ASSERT_TRUE(host.WaitForOutcome(kOutcomeTimeoutMs));
    EXPECT_TRUE(host.HasCompleted());
    EXPECT_EQ(host.module, nullptr);
}
