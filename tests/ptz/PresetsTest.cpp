#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "onvif/XmlParser.h"
#include "ptz/CanonPTZControl.h"
#include "ptz/PtzConfigurationAdjustment.h"
#include "ptz/PtzFixture.h"
#include "support/TestData.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::IsEmpty;
using ::testing::StartsWith;

constexpr char kPanTilt[] = "http://www.onvif.org/ver10/tptz/PanTiltSpaces/";
constexpr char kZoom[] = "http://www.onvif.org/ver10/tptz/ZoomSpaces/";
constexpr char kPanTiltSpeedSpace[] = "http://www.onvif.org/ver10/tptz/PanTiltSpaces/GenericSpeedSpace";
constexpr char kZoomSpeedSpace[] = "http://www.onvif.org/ver10/tptz/ZoomSpaces/ZoomGenericSpeedSpace";

class PresetsTest : public PtzFixture {
protected:
    std::vector<std::string> OnvifOperations()
    {
        std::vector<std::string> operations;
        for (const camsim::OnvifRequestRecord& request : camera.Onvif().Requests())
            operations.push_back(request.operation);
        return operations;
    }

    // What the host and the camera know: "<host names>, at <current preset> | camera <token=name>...".
    std::string Presets(camsim::Camera& on)
    {
        std::string text;
        char name[64];
        const int32_t count = Api()->GetPrepositionCount();
        for (int32_t index = 0; index < count; ++index) {
            EXPECT_EQ(Api()->GetPrepositionName(index, name, sizeof name), kPtzSuccess);
            text += std::string(name) + ", ";
        }
        text += "at " + std::string(Api()->GetCurrentPreposition(name, sizeof name) == kPtzSuccess ? name : "(none)");
        text += " | camera";
        for (const camsim::PtzPreset& preset : on.Ptz().Presets())
            text += " " + preset.token + "=" + preset.name;
        return text;
    }
    std::string Presets() { return Presets(camera); }

    // Leaves the preset the camera stands at.
    void Move() { ASSERT_EQ(Api()->StartMove(kPtzMoveLeft, 4), kPtzSuccess); }

    void StoreOnCamera(const std::string& name)
    {
        std::string token;
        ASSERT_TRUE(camera.Ptz().StorePreset(name, token));
    }
};

TEST_F(PresetsTest, OpeningTheChannelConfiguresProfileZeroAndLoadsThePresets)
{
    StoreOnCamera("Door");
    StoreOnCamera("");  // a preset without a name

    IIPPTZApiEx* api = Api();
    ASSERT_NE(api, nullptr);
    EXPECT_THAT(OnvifOperations(), ElementsAre("GetCapabilities", "GetProfile", "GetConfigurations",
                                               "SetConfiguration", "AddPTZConfiguration", "GetPresets"));
    PTZ_CAPABILITIES record{};
    ASSERT_EQ(api->GetCapabilities(&record), kPtzSuccess);
    EXPECT_EQ(record.presetCount, 2u);
    EXPECT_EQ(record.maxPresets, 20u);
    EXPECT_EQ(Presets(), "Door, Preset preset2, at (none) | camera preset1=Door preset2=");

    // profile0 got the first configuration, set to the highest speed and the request time-out.
    EXPECT_EQ(camera.Onvif().Profiles()[0].ptzToken, "ptzconf0");
    const camsim::OnvifPtzConfiguration configuration = camera.Onvif().PtzConfigurations()[0];
    EXPECT_EQ(std::tie(configuration.speedPanTiltX, configuration.speedPanTiltY, configuration.speedZoomX),
              std::make_tuple("1", "1", "1"));
    EXPECT_EQ(std::tie(configuration.speedPanTiltSpace, configuration.timeout),
              std::make_tuple(kPanTiltSpeedSpace, "PT05S"));

    // Loaded once: counting again asks nothing.
    camera.Onvif().ClearRequests();
    EXPECT_EQ(api->GetPrepositionCount(), 2);
    EXPECT_THAT(OnvifOperations(), IsEmpty());

    // The next channel finds profile0 ready and only reads the presets.
    handler.reset();
    EXPECT_EQ(Api()->GetPrepositionCount(), 2);
    EXPECT_THAT(OnvifOperations(), ElementsAre("GetCapabilities", "GetProfile", "GetPresets"));
    for (const LogLine& logged : driver.Lines())
        EXPECT_GT(logged.level, kLogWarning) << logged.text;
}

TEST_F(PresetsTest, StoreRecallRenameAndDelete)
{
    IIPPTZApiEx* api = Api();
    ASSERT_EQ(api->GetPrepositionCount(), 0);
    camera.Onvif().ClearRequests();
    for (const char* name : {"", "a&b", "100%", "wow!", "<x", "x>", "it's", "say \"hi\""})
        EXPECT_EQ(api->SetPreposition(name), kPtzInvalidArgument) << name;
    EXPECT_EQ(api->SetPreposition(nullptr), kPtzInvalidArgument);
    EXPECT_THAT(OnvifOperations(), IsEmpty()) << "invalid names are refused without asking the camera";
    EXPECT_TRUE(driver.HasLineContaining(
        "korvane::CPrepositionList::IsPrepositionNameCorrect: A preposition \"100&percent;\" cannot be added - the "
        "name is invalid."));
    EXPECT_EQ(api->GetPrepositionCount(), 0);

    ASSERT_EQ(api->SetPreposition("Door"), kPtzSuccess);
    EXPECT_EQ(Presets(), "Door, at Door | camera preset1=Door");
    Move();
    EXPECT_EQ(Presets(), "Door, at (none) | camera preset1=Door");
    ASSERT_EQ(api->SetPreposition("Window"), kPtzSuccess);
    EXPECT_EQ(Presets(), "Door, Window, at Window | camera preset1=Door preset2=Window");
    // Standing at Door, storing under a new name overwrites Door on the camera.
    ASSERT_EQ(api->MoveToPreposition(8, "Door"), kPtzSuccess);
    EXPECT_EQ(Presets(), "Door, Window, at Door | camera preset1=Door preset2=Window");
    ASSERT_EQ(api->SetPreposition("Gate"), kPtzSuccess);
    EXPECT_EQ(Presets(), "Gate, Window, at Gate | camera preset1=Gate preset2=Window");

    EXPECT_EQ(api->MoveToPreposition(8, "Door"), kPtzPresetFailure);
    EXPECT_EQ(api->MoveToPreposition(8, nullptr), kPtzInvalidArgument);
    char exact[4];  // "Gate" without room for its terminating zero
    EXPECT_EQ(api->GetPrepositionName(0, exact, sizeof exact), kPtzInvalidArgument);
    EXPECT_EQ(api->GetCurrentPreposition(exact, sizeof exact), kPtzInvalidArgument);
    EXPECT_EQ(api->GetPrepositionName(0, nullptr, 10), kPtzInvalidArgument);
    char name[16];
    EXPECT_EQ(api->GetPrepositionName(2, name, sizeof name), kPtzPresetFailure);
    EXPECT_EQ(api->GetPrepositionName(-1, name, sizeof name), kPtzPresetFailure);

    // The recall speed reaches the camera in the configured speed spaces.
    for (int32_t speed : {1, 8, 16, 40, -8})
        ASSERT_EQ(api->MoveToPreposition(speed, "Gate"), kPtzSuccess) << speed;
    std::vector<std::string> recalled;
    for (const camsim::PtzRecallSpeed& speed : camera.Ptz().RecallSpeeds()) {
        EXPECT_EQ(std::tie(speed.panTiltY, speed.zoomX, speed.panTiltSpace, speed.zoomSpace),
                  std::make_tuple(speed.panTiltX, speed.panTiltX, kPanTiltSpeedSpace, kZoomSpeedSpace));
        recalled.push_back(speed.panTiltX);
    }
    EXPECT_EQ(recalled, (std::vector<std::string>{"0.50000", "0.15000", "0.50000", "1", "1", "0.50000"}));

    // A delete removes the preset only when the camera did.
    camera.Onvif().FailOperation("RemovePreset", camsim::OnvifFault{500, "env:Receiver", {"ter:Action"}, "Busy"});
    EXPECT_EQ(api->DeletePreposition("Gate"), kPtzPresetFailure);
    EXPECT_TRUE(driver.HasLineContaining("is unable to remove preposition \"preset1\" (<tptz:RemovePreset> request). "
                                         "Reason: Busy (code: ter:Action)"));
    EXPECT_EQ(api->GetPrepositionCount(), 2);
    camera.Onvif().ClearFailures();
    EXPECT_EQ(api->DeletePreposition("Gate"), kPtzSuccess);
    EXPECT_EQ(Presets(), "Window, at (none) | camera preset2=Window");
    EXPECT_EQ(api->DeletePreposition("Gate"), kPtzPresetFailure);
    EXPECT_EQ(api->DeletePreposition(nullptr), kPtzInvalidArgument);
}

TEST_F(PresetsTest, FullCameraRefusesNewPresetsButOverwritesTheCurrentOne)
{
    UseCapabilities("Pan=1; Tilt=1; Zoom=1; PanSpeed=0-15;Preset=2");
    IIPPTZApiEx* api = Api();
    ASSERT_EQ(api->SetPreposition("A"), kPtzSuccess);
    Move();
    ASSERT_EQ(api->SetPreposition("B"), kPtzSuccess);
    Move();
    EXPECT_EQ(api->SetPreposition("C"), kPtzPresetLimit);
    EXPECT_TRUE(driver.HasLineContaining(
        "korvane::CPrepositionList::CanNewPrepositionBeAdded: A preposition \"C\" cannot be added. Camera supports "
        "saving not more than 2 prepositions."));
    EXPECT_EQ(camera.Ptz().Presets().size(), 2u);

    ASSERT_EQ(api->MoveToPreposition(16, "A"), kPtzSuccess);
    EXPECT_EQ(api->SetPreposition("C"), kPtzSuccess);
    EXPECT_THAT(Presets(), EndsWith(" | camera preset1=C preset2=B"));
}

TEST_F(PresetsTest, CameraAnsweringInTheVersion10PtzNamespace)
{
    camsim::CameraOptions options;
    options.onvifPtzVersion10 = true;
    camsim::Camera older(options);
    ASSERT_TRUE(older.Start());
    std::string token;
    ASSERT_TRUE(older.Ptz().StorePreset("Door", token));
    driver.deviceInfo = older.DeviceInfo();
    driver.SetCamera("127.0.0.1", older.HttpPort());

    IIPPTZApiEx* api = Api();
    EXPECT_EQ(api->GetPrepositionCount(), 1);
    EXPECT_EQ(older.Onvif().Profiles()[0].ptzToken, "ptzconf0");
    EXPECT_THAT(Presets(older), StartsWith("Door, at (none) | camera"));
    ASSERT_EQ(api->SetPreposition("Window"), kPtzSuccess);
    EXPECT_EQ(older.Ptz().Presets().size(), 2u);
    handler.reset();  // its connection goes before the camera
}

TEST_F(PresetsTest, FailuresAreLoggedOnceAtTheirLevel)
{
    // A repeated failure is logged once, as an error, until a configuration succeeds.
    const char line[] = "Unable to receive media profile \"profile0\" from device";
    camera.Onvif().FailOperation("GetProfile", camsim::OnvifFault{500, "env:Receiver", {"ter:Action"}, "Busy"});
    IIPPTZApiEx* api = Api();
    EXPECT_EQ(api->GetPrepositionCount(), 0);
    EXPECT_EQ(api->SetPreposition("A"), kPtzFailure);
    EXPECT_EQ(driver.CountLinesContaining(line), 1u);
    for (const LogLine& logged : driver.Lines())
        EXPECT_TRUE(logged.text.find(line) == std::string::npos || logged.level == kLogError) << logged.text;
    camera.Onvif().ClearFailures();
    ASSERT_EQ(api->SetPreposition("A"), kPtzSuccess);

    // A failing preset call makes the next one configure again, which fails as before.
    camera.Onvif().FailOperation("SetPreset", camsim::OnvifFault{500, "env:Receiver", {"ter:Action"}, "Busy"});
    camera.Onvif().FailOperation("GetProfile", camsim::OnvifFault{500, "env:Receiver", {"ter:Action"}, "Busy"});
    Move();
    EXPECT_EQ(api->SetPreposition("B"), kPtzFailure);
    EXPECT_EQ(api->SetPreposition("B"), kPtzFailure);
    EXPECT_EQ(api->SetPreposition("B"), kPtzFailure);
    EXPECT_EQ(driver.CountLinesContaining("is unable to set preposition \"B\" (<tptz:SetPreset> request)"), 1u);
    EXPECT_EQ(driver.CountLinesContaining(line), 2u);

    // A refused password is an error.
    camera.Onvif().ClearFailures();
    camera.Auth().Configure({"root", "camera", {camsim::AuthScheme::Basic}});
    driver.deviceInfo.userName = "root";
    driver.deviceInfo.password = "wrong";
    handler.reset();
    EXPECT_EQ(Api()->GetPrepositionCount(), 0);
    const std::vector<LogLine> lines = driver.Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const LogLine& logged) {
        return logged.level == kLogError &&
               logged.text.find("(<trt:GetProfile> request). HTTP status code: 401") != std::string::npos;
    }));

    // An unreachable camera is a debug line only.
    handler.reset();  // its connection would hold up the camera's stop
    camera.Stop();
    driver.ClearLines();
    EXPECT_EQ(Api()->GetPrepositionCount(), 0);
    EXPECT_EQ(Api()->SetPreposition("A"), kPtzFailure);
    EXPECT_EQ(driver.CountLinesContaining("(<trt:GetProfile> request). Device is not accessible"), 1u);
    for (const LogLine& logged : driver.Lines())
        EXPECT_EQ(logged.level, kLogDebug) << logged.text;
}

// A configuration in generic spaces at full speed with a time-out of five seconds.
Onvif::PTZConfiguration GenericConfiguration()
{
    CXmlParser reply;
    EXPECT_TRUE(reply.LoadFromText(ReadTestData("ptz/generic-configuration.xml")));
    Onvif::PTZConfiguration configuration;
    EXPECT_TRUE(configuration.Read(reply, "tt:PTZConfiguration"));
    return configuration;
}

TEST(PtzConfigurationAdjustmentTest, OnlySpeedsAndTimeOutAreChangesAndWhatCannotBeSetIsLeftAlone)
{
    Onvif::PTZConfiguration configuration = GenericConfiguration();
    EXPECT_FALSE(AdjustPtzConfiguration(configuration, 1.0f, 5000));  // a fit configuration stays as it is
    EXPECT_EQ(configuration.ToXml(), GenericConfiguration().ToXml());

    // Other spaces become generic without counting as a change.
    configuration.defaultAbsolutePantTiltPositionSpace = std::string(kPanTilt) + "PositionSpaceDegrees";
    configuration.defaultRelativeZoomTranslationSpace = std::string(kZoom) + "TranslationSpaceMillimeter";
    configuration.defaultContinuousPanTiltVelocitySpace = "NoSlash";
    EXPECT_FALSE(AdjustPtzConfiguration(configuration, 1.0f, 5000));
    EXPECT_EQ(configuration.defaultAbsolutePantTiltPositionSpace, std::string(kPanTilt) + "PositionGenericSpace");
    EXPECT_EQ(configuration.defaultRelativeZoomTranslationSpace, std::string(kZoom) + "TranslationGenericSpace");
    EXPECT_EQ(configuration.defaultContinuousPanTiltVelocitySpace, "NoSlash");

    configuration = GenericConfiguration();
    configuration.defaultSpeed.panTiltY = 0.5f;
    EXPECT_TRUE(AdjustPtzConfiguration(configuration, 1.0f, 5000));
    EXPECT_FLOAT_EQ(configuration.defaultSpeed.panTiltX, 1.0f);
    EXPECT_FLOAT_EQ(configuration.defaultSpeed.panTiltY, 1.0f);

    configuration = GenericConfiguration();
    configuration.defaultSpeed.zoomSpace = std::string(kZoom) + "SpeedSpaceMillimeter";
    EXPECT_TRUE(AdjustPtzConfiguration(configuration, 1.0f, 5000));
    EXPECT_EQ(configuration.defaultSpeed.zoomSpace, std::string(kZoom) + "ZoomGenericSpeedSpace");

    configuration = GenericConfiguration();
    EXPECT_TRUE(AdjustPtzConfiguration(configuration, 1.0f, 15000));
    EXPECT_EQ(configuration.defaultTimeout, "PT15S");
    configuration.defaultTimeout = "PT1M";
    EXPECT_TRUE(AdjustPtzConfiguration(configuration, 1.0f, 900));
    EXPECT_EQ(configuration.defaultTimeout, "PT02S");

    // Without a time-out of its own the configuration keeps none; a speed without space is not set.
    configuration = GenericConfiguration();
    configuration.defaultTimeout.clear();
    configuration.defaultSpeed.zoomSpace.clear();
    configuration.defaultSpeed.zoomX = 0.2f;
    EXPECT_FALSE(AdjustPtzConfiguration(configuration, 1.0f, 5000));
    EXPECT_FLOAT_EQ(configuration.defaultSpeed.zoomX, 0.2f);

    // A configuration without a name is left alone.
    configuration = GenericConfiguration();
    configuration.name.clear();
    configuration.defaultSpeed.panTiltX = 0.3f;
    EXPECT_FALSE(AdjustPtzConfiguration(configuration, 1.0f, 5000));
    EXPECT_FLOAT_EQ(configuration.defaultSpeed.panTiltX, 0.3f);
}

}  // namespace
}  // namespace korvane::test
