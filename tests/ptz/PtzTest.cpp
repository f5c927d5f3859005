// PTZ against a simulated camera on loopback: speeds, the command pipeline and the Canon
// commands, presets over ONVIF, the ONVIF configuration adjustment and the driver's exported
// PTZ objects.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "camsim/Camera.h"
#include "driver/ChannelSettings.h"
#include "onvif/XmlParser.h"
#include "ptz/CanonPTZComm.h"
#include "ptz/CanonPTZControl.h"
#include "ptz/CanonPTZHandler.h"
#include "ptz/PtzCapabilities.h"
#include "ptz/PtzConfigurationAdjustment.h"
#include "ptz/PtzSpeed.h"
#include "support/CameraWithDriver.h"
#include "support/FakeDriver.h"
#include "support/ScratchDirectory.h"
#include "support/TestData.h"
#include "support/WaitUntil.h"

namespace korvane::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using Results = std::vector<int32_t>;

// Pan speeds 0 to 15: host speed s arrives as s - 1.
constexpr char kFullCapabilities[] =
    "Pan=1; Tilt=1; Zoom=1; Focus=1; Iris=1; PanSpeed=0-15;TiltSpeed=1-150;ZoomSpeed=1-7;IrisRange=1-100;"
    "Center=1; Unzoom=1; AreaZoom=1; Preset=20";
constexpr uint32_t kWaitMs = 5000;
constexpr char kControl[] = "/-wvhttp-01-/control.cgi?";
constexpr char kIrisInfo[] = "/-wvhttp-01-/info.cgi?item=c.1.me.iris";

// The requests listed as "<series> <target>" lines in tests/data/ptz/requests.txt.
std::vector<std::string> Listed(const std::string& series)
{
    std::vector<std::string> targets;
    for (const std::string& line : ReadTestDataLines("ptz/requests.txt"))
        if (line.rfind(series + " ", 0) == 0)
            targets.push_back(line.substr(series.size() + 1));
    return targets;
}

// A PTZ handler over a fake driver, pointed at the simulated camera.
class PtzFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(camera.Start());
        driver.deviceInfo = camera.DeviceInfo();
        driver.SetCamera("127.0.0.1", camera.HttpPort());
        driver.hostDirectory = directory.Path();
        UseCapabilities(kFullCapabilities);
    }

    void TearDown() override { camera.Ptz().ReleaseControlRequests(); }

    void UseCapabilities(const std::string& text)
    {
        capabilities.FromString(text);
        driver.ptzCapabilities = &capabilities;
    }

    // Device section for the simulated camera in the configuration file.
    void Configure(const std::string& elements)
    {
        const std::string section = "<Device address=\"127.0.0.1\" port=\"" + std::to_string(camera.HttpPort()) + "\">";
        const std::string document = "<Configuration>" + section + elements + "</Device></Configuration>\n";
        directory.WriteFile("Tallowcam.xml", "<?xml version=\"1.0\"?>\n" + document);
    }

    // Opening the channel loads its presets over ONVIF before it returns; the
    // request log starts after that, with the commands.
    IIPPTZApiEx* Api()
    {
        if (handler != nullptr)
            return handler->GetPTZApiEx(0);
        handler = std::make_unique<CCanonPTZHandler>(&driver);
        IIPPTZApiEx* api = handler->GetPTZApiEx(0);
        camera.HttpRequests().Clear();
        return api;
    }

    // Every request the camera received since the last call up to a final
    // marker command, which is posted once at least `before` requests arrived,
    // and left out: what was queued before it has been executed.
    std::vector<std::string> ExecutedRequests(size_t before = 0)
    {
        EXPECT_TRUE(camera.HttpRequests().WaitForCount(before, kWaitMs));
        const size_t earlier = camera.HttpRequests().Count();
        EXPECT_EQ(Api()->StartMove(kPtzMoveLeft, 16), kPtzSuccess);
        const std::string marker = Control("pan=left&pan.speed.dir=15");
        std::vector<std::string> targets;
        EXPECT_TRUE(WaitUntil(
            [&] {
                targets = camera.HttpRequests().Targets();
                return targets.size() > earlier && targets.back() == marker;
            },
            kWaitMs))
            << "the marker command was not executed";
        camera.HttpRequests().Clear();
        if (!targets.empty() && targets.back() == marker)
            targets.pop_back();
        return targets;
    }

    static std::string Control(const std::string& query) { return kControl + query; }

    camsim::Camera camera;
    FakeDriver driver;
    ScratchDirectory directory;
    CPtzCapabilities capabilities;
    std::unique_ptr<CCanonPTZHandler> handler;
};

using CanonCommandsTest = PtzFixture;
using PtzPipelineTest = PtzFixture;

TEST_F(CanonCommandsTest, ErrorsMotionFocusIrisCenterAndAreaZoomCommandsAndAConfiguredPercentLimitsTheSpeeds)
{
    // Camera errors, from the opening of the channel on, are logged and the next command runs.
    camera.Http().SetFault(camsim::HttpFault::ServerError);
    IIPPTZApiEx* api = Api();
    ASSERT_THAT((Results{api->StartMove(kPtzMoveRight, 1), api->StartMove(kPtzMoveUp, 1)}), Each(kPtzSuccess));
    ASSERT_TRUE(camera.HttpRequests().WaitForCount(2, kWaitMs));
    camera.Http().SetFault(camsim::HttpFault::None);
    EXPECT_THAT(ExecutedRequests(2),
                ElementsAre(Control("pan=right&pan.speed.dir=0"), Control("tilt=up&tilt.speed.dir=1")));
    EXPECT_TRUE(driver.HasLineContaining("HTTP status code is 500"));

    for (int32_t direction = kPtzMoveLeft; direction <= kPtzMoveDownRight; ++direction)
        ASSERT_EQ(api->StartMove(direction, 8), kPtzSuccess);
    // No more than the queue limit (8) may wait at a time.
    ASSERT_TRUE(camera.HttpRequests().WaitForCount(8, kWaitMs));
    ASSERT_THAT((Results{api->StartMove(kPtzZoomTele, 1), api->StartMove(kPtzZoomWide, 16)}), Each(kPtzSuccess));
    // Host speed 8: pan 0-15 gives 7, tilt 1-150 gives 70.
    EXPECT_EQ(ExecutedRequests(10), Listed("moves"));
    camsim::PtzSnapshot state = camera.Ptz().Snapshot();
    EXPECT_EQ(std::tie(state.tiltMotion, state.zoomMotion, state.zoomSpeed), std::make_tuple("down", "wide", 7));

    // Focus switches to manual once, and zoom back to automatic.
    ASSERT_THAT((Results{api->FocusNear(4), api->FocusFar(4)}), Each(kPtzSuccess));
    ASSERT_TRUE(camera.HttpRequests().WaitForCount(3, kWaitMs));
    EXPECT_EQ(camera.Ptz().Snapshot().focusMode, "manual");
    ASSERT_THAT((Results{api->ZoomIn(1), api->ZoomOut(1)}), Each(kPtzSuccess));
    // Exposure was never manual, so no exposure request.
    EXPECT_EQ(ExecutedRequests(6), Listed("focus"));
    state = camera.Ptz().Snapshot();
    EXPECT_EQ(std::tie(state.focusMode, state.exposureMode, state.focusMotion), std::make_tuple("auto", "auto", "far"));

    // Iris steps go from the current value and stay within the range.
    camera.Ptz().SetIris(100);
    ASSERT_EQ(api->IrisPlus(1), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(1), ElementsAre(kIrisInfo));
    camera.Ptz().SetIris(1);
    ASSERT_EQ(api->IrisMinus(1), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(1), ElementsAre(kIrisInfo));
    EXPECT_EQ(camera.Ptz().Snapshot().exposureMode, "auto");
    camera.Ptz().SetIris(50);
    ASSERT_THAT((Results{api->IrisPlus(1), api->IrisMinus(1), api->IrisMinus(1)}), Each(kPtzSuccess));
    EXPECT_EQ(ExecutedRequests(6), Listed("iris"));
    state = camera.Ptz().Snapshot();
    EXPECT_EQ(std::tie(state.iris, state.exposureMode), std::make_tuple(49u, "manual"));
    camera.Model().RemoveInfo("c.1.me.iris");  // the current value is unknown: no step
    ASSERT_EQ(api->IrisPlus(1), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(1), ElementsAre(kIrisInfo));
    EXPECT_TRUE(driver.HasLineContaining("holds no iris value"));

    // Center and area zoom follow the picture size: without one both are skipped, as is an unexpected Unzoom.
    ASSERT_THAT((Results{api->Center(320, 240, 1), api->AreaZoom(320, 240, 200, 1), api->Unzoom(3)}),
                Each(kPtzSuccess));
    EXPECT_THAT(ExecutedRequests(), IsEmpty());
    EXPECT_TRUE(driver.HasLineContaining(
        "korvane::CCanonPTZComm::ProcessCenterCommand: The picture size of device 127.0.0.1"));
    EXPECT_TRUE(driver.HasLineContaining("korvane::CCanonPTZComm::ProcessAreaZoomCommand: The picture size"));
    EXPECT_TRUE(driver.HasLineContaining("korvane::CCanonPTZComm::HandleWorkItem: unexpected command ID=7"));

    // Positions are relative to the live picture.
    driver.streamDefaults.SetPictureSize({1280, 720}, "::RecStream");
    driver.streamDefaults.SetPictureSize({640, 480}, "::LiveStream");
    ASSERT_THAT((Results{api->Center(320, 240, 1), api->Center(0, 0, 1), api->Center(480, 360, 1),
                         api->AreaZoom(480, 120, 200, 1), api->AreaZoom(160, 240, 50, 1)}), Each(kPtzSuccess));
    EXPECT_EQ(ExecutedRequests(5), Listed("center"));
    state = camera.Ptz().Snapshot();
    EXPECT_EQ(std::tie(state.panPosition, state.tiltPosition, state.zoomPercent), std::make_tuple(-50, 100, 100));

    // Points outside the picture are taken as its edge; a zoom value of 0 is refused.
    ASSERT_THAT((Results{api->Center(0xFFFFFFFFu, 100000, 1), api->AreaZoom(320, 240, 0, 1)}), Each(kPtzSuccess));
    EXPECT_THAT(ExecutedRequests(1), ElementsAre(Control("pan=v-100&tilt=v-100")));
    EXPECT_TRUE(driver.HasLineContaining("korvane::CCanonPTZComm::ProcessAreaZoomCommand: Invalid zoom value 0"));

    // While the live size is unknown, the other picture's counts.
    driver.streamDefaults.ClearPictureSize(kStreamLive);
    ASSERT_EQ(api->Center(1280, 720, 1), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(1), ElementsAre(Control("pan=v+100&tilt=v-100")));

    // A configured percent limits the camera speeds.
    handler.reset();
    UseCapabilities("Pan=1; Tilt=1; Zoom=1; PanSpeed=0-100;TiltSpeed=1-150;ZoomSpeed=1-7;");
    Configure("<PanSpeed>50</PanSpeed><TiltSpeed>10</TiltSpeed><ZoomSpeed>101</ZoomSpeed>");
    api = Api();
    // The last move, the marker's, is limited too: 50 instead of 100.
    ASSERT_THAT((Results{api->StartMove(kPtzMoveRight, 16), api->StartMove(kPtzMoveUp, 16), api->ZoomIn(16),
                         api->StartMove(kPtzMoveLeft, 16)}), Each(kPtzSuccess));
    ASSERT_TRUE(camera.HttpRequests().WaitForCount(4, kWaitMs));
    EXPECT_EQ(camera.HttpRequests().Targets(), Listed("percent"));
}

TEST_F(PtzPipelineTest, OnlyChannelZeroExistsAndPipelinesWithoutAWorkerOrClosedChannelsRefuseCommands)
{
    CCanonPTZComm comm(&driver, 0, capabilities, 8);
    ASSERT_TRUE(comm.Open());
    comm.Close();
    EXPECT_EQ(comm.StartMove(nullptr, kPtzMoveLeft, 1), kPtzFailure);
    EXPECT_FALSE(comm.StopZooming(nullptr));
    EXPECT_TRUE(driver.HasLineContaining("korvane::CBasePTZComm::StartMove: cannot send message (1) to thread"));
    EXPECT_TRUE(driver.HasLineContaining("korvane::CBasePTZComm::StopZooming: cannot send message (4) to thread"));
    EXPECT_EQ(camera.HttpRequests().Count(), 0u);

    CCanonPTZControl control(&driver, 0);  // never opened
    PTZ_CAPABILITIES record{};
    EXPECT_THAT((Results{control.IsPTZSupported(), control.StartMove(kPtzMoveLeft, 5), control.Stop(),
                         control.Center(1, 1, 1), control.IrisMinus(1), control.GetCapabilities(&record)}),
                Each(kPtzFailure));
    EXPECT_EQ(control.GetPrepositionCount(), 0);
    EXPECT_EQ(control.SetPreposition(nullptr), kPtzInvalidArgument);
    // Once closed, it forgets its presets and no longer reaches the camera.
    ASSERT_TRUE(control.Open());
    ASSERT_EQ(control.SetPreposition("A"), kPtzSuccess);
    control.Close();
    EXPECT_EQ(control.GetPrepositionCount(), 0);
    EXPECT_EQ(control.SetPreposition("B"), kPtzFailure);
    EXPECT_EQ(control.MoveToPreposition(8, "A"), kPtzPresetFailure);
    EXPECT_EQ(control.DeletePreposition("A"), kPtzPresetFailure);
    EXPECT_EQ(camera.Ptz().Presets().size(), 1u);

    CCanonPTZHandler channels(&driver);
    // Host threads asking at once share the one control.
    auto asked = std::async(std::launch::async, [&] { return channels.GetPTZApiEx(0); });
    IIPPTZApiEx* first = channels.GetPTZApiEx(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(asked.get(), first);
    EXPECT_EQ(channels.GetPTZApi(0), static_cast<IIPPTZApi*>(first));
    EXPECT_EQ(channels.GetPTZApiEx(1), nullptr);
    EXPECT_EQ(first->QueryExtension(7), 0u);
}

TEST_F(PtzPipelineTest, CapabilitiesFillTheHostRecordAndRefuseCommands)
{
    UseCapabilities("Pan=1; Tilt=0; Zoom=1; Focus=0; Iris=1; Center=1; Unzoom=0; AreaZoom=1; Preset=12");
    PTZ_CAPABILITIES record;
    uint32_t* const slots = reinterpret_cast<uint32_t*>(&record);
    const size_t count = sizeof(record) / sizeof(uint32_t);
    std::fill_n(slots, count, 0xAAAAAAAAu);
    ASSERT_EQ(Api()->GetCapabilities(&record), kPtzSuccess);
    // hostField (the host's), pan, tilt, zoom, focus, iris, reserved6, maxPresets, presetCount, reserved9,
    // reserved10, areaZoom, center, unzoom
    EXPECT_EQ(std::vector<uint32_t>(slots, slots + count),
              (std::vector<uint32_t>{0xAAAAAAAAu, 1, 0, 1, 0, 1, 0, 12, 0, 0, 0, 1, 1, 0}));
    EXPECT_EQ(Api()->GetCapabilities(nullptr), kPtzInvalidArgument);
    EXPECT_EQ(Api()->IsPTZSupported(), 1);

    handler.reset();
    UseCapabilities("Pan=0; Tilt=0; Zoom=0; Focus=0; Iris=0");
    EXPECT_EQ(Api()->IsPTZSupported(), 0);

    // Commands outside the capabilities are refused and send nothing.
    handler.reset();
    UseCapabilities("Pan=1; Tilt=0; Zoom=0; Focus=0; Iris=0; PanSpeed=0-15;Center=0; Unzoom=0; AreaZoom=0");
    IIPPTZApiEx* api = Api();
    EXPECT_THAT((Results{api->StartMove(kPtzZoomTele, 5), api->StartMove(kPtzZoomWide, 5), api->ZoomIn(5),
                         api->ZoomOut(5), api->FocusNear(5), api->FocusFar(5), api->IrisPlus(5), api->IrisMinus(5),
                         api->Center(10, 10, 5), api->AreaZoom(10, 10, 200, 5), api->Unzoom(5)}),
                Each(kPtzNotSupported));
    EXPECT_THAT((Results{api->StartMove(kPtzMoveInvalid, 5), api->StartMove(-1, 5), api->StartMove(11, 5)}),
                Each(kPtzInvalidArgument));
    // None of the refused commands left a motion to stop.
    EXPECT_EQ(api->Stop(), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(), IsEmpty());
}

TEST_F(PtzPipelineTest, StopDiscardsPendingCommandsAndStopsWhatRunsAndAFullQueueDropsTheOldest)
{
    IIPPTZApiEx* api = Api();
    EXPECT_EQ(api->Stop(), kPtzSuccess);
    ASSERT_EQ(api->ZoomOut(16), kPtzSuccess);
    EXPECT_THAT((Results{api->Stop(), api->Stop()}), Each(kPtzSuccess));
    EXPECT_THAT(ExecutedRequests(), ElementsAre(Control("zoom=wide&zoom.speed.dir=7"), Control("zoom=stop")));

    camera.Ptz().HoldControlRequests();
    ASSERT_EQ(api->StartMove(kPtzMoveUp, 16), kPtzSuccess);
    ASSERT_TRUE(camera.Ptz().WaitForHeldRequests(1, kWaitMs));
    ASSERT_THAT((Results{api->ZoomIn(3), api->FocusFar(3), api->IrisPlus(3), api->StartMove(kPtzMoveRight, 3)}),
                Each(kPtzSuccess));
    EXPECT_EQ(api->Stop(), kPtzSuccess);
    camera.Ptz().ReleaseControlRequests();
    // The iris stops by itself: its stop sends nothing.
    EXPECT_THAT(ExecutedRequests(4), ElementsAre(Control("tilt=up&tilt.speed.dir=150"), Control("pan=stop&tilt=stop"),
                                                Control("zoom=stop"), Control("focus=stop")));
    const camsim::PtzSnapshot state = camera.Ptz().Snapshot();
    EXPECT_EQ(std::tie(state.tiltMotion, state.zoomMotion), std::make_tuple("stop", "stop"));

    // The default limit keeps eight waiting commands; the configuration may set another.
    for (const uint32_t limit : {8u, 2u}) {
        SCOPED_TRACE(limit);
        if (limit != 8) {
            handler.reset();
            Configure("<PTZQueueSize>" + std::to_string(limit) + "</PTZQueueSize>");
        }
        camera.Ptz().HoldControlRequests();
        ASSERT_EQ(Api()->StartMove(kPtzMoveRight, 1), kPtzSuccess);
        ASSERT_TRUE(camera.Ptz().WaitForHeldRequests(1, kWaitMs));
        for (uint32_t speed = 2; speed <= limit + 3; ++speed)
            ASSERT_EQ(Api()->StartMove(kPtzMoveRight, speed), kPtzSuccess);
        camera.Ptz().ReleaseControlRequests();

        std::vector<std::string> expected = {Control("pan=right&pan.speed.dir=0")};
        for (uint32_t cameraSpeed = 3; cameraSpeed < limit + 3; ++cameraSpeed)
            expected.push_back(Control("pan=right&pan.speed.dir=" + std::to_string(cameraSpeed)));
        EXPECT_EQ(ExecutedRequests(expected.size()), expected);
    }
}

TEST(PtzThroughDriverTest, HostCommandsReachTheCameraWithTheOpenedCapabilities)
{
    CameraWithDriver setup;
    // The host hands its numbered parameters without gaps.
    for (uint32_t index = 1; index <= 4; ++index)
        setup.params.parameters[index] = "(none)";
    setup.params.parameters[5] =
        "Pan=1; Tilt=1; Zoom=1; Focus=0; Iris=0; PanSpeed=1-100;TiltSpeed=1-100;ZoomSpeed=1-7;";
    ASSERT_TRUE(setup.Open());
    ASSERT_NE(setup.driver.GetPTZDriver(), nullptr);
    IIPPTZApi* api = setup.driver.GetPTZDriver()->GetPTZApi(0);
    ASSERT_NE(api, nullptr);
    EXPECT_EQ(setup.driver.GetPTZDriverEx()->GetPTZApiEx(0), api);
    EXPECT_EQ(setup.driver.GetPTZDriver()->GetPTZApi(1), nullptr);

    // The driver's clock synchronisation talks to the camera too: only the PTZ requests count.
    const std::string control = "/-wvhttp-01-/control.cgi";
    EXPECT_EQ(api->FocusNear(1), kPtzNotSupported);
    ASSERT_EQ(api->StartMove(kPtzMoveDownLeft, 8), kPtzSuccess);
    ASSERT_TRUE(setup.WaitForRequests(control, 1));  // a stop discards a move still waiting
    ASSERT_EQ(api->Stop(), kPtzSuccess);
    ASSERT_TRUE(setup.WaitForRequests(control, 2));
    EXPECT_THAT(setup.Requests(control),
                ElementsAre("/-wvhttp-01-/control.cgi?tilt=down&tilt.speed.dir=47&pan=left&pan.speed.dir=47",
                            "/-wvhttp-01-/control.cgi?pan=stop&tilt=stop"));
    setup.driver.Close();
    EXPECT_EQ(setup.driver.GetPTZDriver(), nullptr);
}

constexpr char kPanTilt[] = "http://www.onvif.org/ver10/tptz/PanTiltSpaces/";
constexpr char kZoom[] = "http://www.onvif.org/ver10/tptz/ZoomSpaces/";
constexpr char kPanTiltSpeedSpace[] = "http://www.onvif.org/ver10/tptz/PanTiltSpaces/GenericSpeedSpace";
constexpr char kZoomSpeedSpace[] = "http://www.onvif.org/ver10/tptz/ZoomSpaces/ZoomGenericSpeedSpace";
const camsim::OnvifFault kBusy{500, "env:Receiver", {"ter:Action"}, "Busy"};

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
    EXPECT_EQ(std::tie(record.presetCount, record.maxPresets), std::make_tuple(2u, 20u));
    EXPECT_EQ(Presets(), "Door, Preset preset2, at (none) | camera preset1=Door preset2=");

    // profile0 got the first configuration, set to the highest speed and the request time-out.
    EXPECT_EQ(camera.Onvif().Profiles()[0].ptzToken, "ptzconf0");
    const camsim::OnvifPtzConfiguration configuration = camera.Onvif().PtzConfigurations()[0];
    EXPECT_EQ(std::tie(configuration.speedPanTiltX, configuration.speedPanTiltY, configuration.speedZoomX,
                       configuration.speedPanTiltSpace, configuration.timeout),
              std::make_tuple("1", "1", "1", kPanTiltSpeedSpace, "PT05S"));

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
    camera.Onvif().FailOperation("RemovePreset", kBusy);
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
    camera.Onvif().FailOperation("GetProfile", kBusy);
    IIPPTZApiEx* api = Api();
    EXPECT_EQ(api->GetPrepositionCount(), 0);
    EXPECT_EQ(api->SetPreposition("A"), kPtzFailure);
    EXPECT_EQ(driver.CountLinesContaining(line), 1u);
    for (const LogLine& logged : driver.Lines())
        EXPECT_TRUE(logged.text.find(line) == std::string::npos || logged.level == kLogError) << logged.text;
    camera.Onvif().ClearFailures();
    ASSERT_EQ(api->SetPreposition("A"), kPtzSuccess);

    // A failing preset call makes the next one configure again, which fails as before.
    for (const char* operation : {"SetPreset", "GetProfile"})
        camera.Onvif().FailOperation(operation, kBusy);
    Move();
    for (int attempt = 0; attempt < 3; ++attempt)
        EXPECT_EQ(api->SetPreposition("B"), kPtzFailure) << attempt;
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

TEST(PtzSpeedTest, HostSpeedsSpanTheCameraRangeAndTheOnvifConfigurationAdjustsOnlySpeedsAndTimeOut)
{
    // Host speed 8 of range 1-100 (47) and the percent limits are checked through the camera's requests.
    // Speeds outside 1..16 (0 and 40) stay inside the camera's range.
    const PTZ_RANGE range{1, 100};
    EXPECT_EQ((Results{CameraSpeed(range, 1), CameraSpeed(range, 16), CameraSpeed(range, 0), CameraSpeed(range, 40),
                       CameraSpeed(PTZ_RANGE{9, 3}, 16)}), (Results{1, 100, 1, 100, 9}));
    EXPECT_EQ(LimitSpeedRange(PTZ_RANGE{1, 150}, 10).minimum, 1u);

    // The ONVIF configuration: only speeds and the time-out are changes; what cannot be set is left alone.
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
