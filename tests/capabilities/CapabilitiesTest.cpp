// Capability queries against simulated cameras, recorded by a CapabilityHost, through the query module
// and the plug-in's exported functions; under them the camera reply parsers, the capability store and
// the saving of capabilities into the host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "camsim/Camera.h"
#include "capabilities/BaseCameraProperties.h"
#include "capabilities/CameraReply.h"
#include "capabilities/CanonCapabilityQueryModule.h"
#include "capabilities/CapabilitySaver.h"
#include "capabilities/ParameterWriter.h"
#include "platform/DynamicLibrary.h"
#include "support/CapabilityHost.h"
#include "support/TestData.h"
#include "support/WaitUntil.h"
#include "tallowcam/CapabilityQuery.h"
#include "tallowcam/CapabilityQueryExports.h"

using namespace korvane;
using namespace korvane::test;
using ::testing::HasSubstr;

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
        ipcapture::DeleteThroughInterface(module);
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

// ---- The reply parsers, the capability store and the saver ----------------------


// A text of tests/data with its escapes \r, \n and \t turned into those characters.
std::string Unescaped(const std::string& text)
{
    return ReplaceAll(ReplaceAll(ReplaceAll(text, "\\r", "\r"), "\\n", "\n"), "\\t", "\t");
}

DEVICE_INFO Device()
{
    DEVICE_INFO device;
    device.address = "10.0.0.7";
    device.port = 8080;
    device.userName = "admin";
    device.password = "secret";
    return device;
}

// A capability store filled directly by the test.
class StoredProperties : public CBaseCameraProperties {
public:
    explicit StoredProperties(uint32_t videoStandard = 1) : CBaseCameraProperties(Device(), videoStandard) {}

    bool ListProperties(CParameterWriter& list) const override { return list.WriteText(2, "Firmware", m_firmware); }
    CResultDef Query(uint32_t&) override { return {}; }

    using CBaseCameraProperties::AddResolution;
    using CBaseCameraProperties::SetFrameRates;
    using CBaseCameraProperties::m_cameraCount;
    using CBaseCameraProperties::m_model;
    using CBaseCameraProperties::m_streams;

    // A minimal camera that can be saved.
    void FillMinimal()
    {
        m_model = "Test";
        m_cameraCount = 1;
        AddCodec(kCapabilityCodecJpeg, kMainStreamGroup);
        SetFrameRates(kMainStreamGroup, 2);
    }

    // Every kind of capability, some of them twice.
    void FillEverything()
    {
        m_vendor = "Maker";
        m_model = "Cam 1";
        m_firmware = "";
        m_cameraCount = 2;
        m_hasHardware = true;
        m_inputCount = 4;
        m_ptzKind = 2;
        m_ptzCount = 3;
        m_streamCount = 2;
        m_audioOutput.m_channelCount = 1;
        AddCodec(kCapabilityCodecMpeg4, kMainStreamGroup);
        AddCodec(kCapabilityCodecH264, kMainStreamGroup);
        AddResolution(640, 480, 0, kMainStreamGroup);
        SetFrameRates(kMainStreamGroup, 2);
    }
};

// A host that hands out none of one kind of its list objects.
class RefusingHost : public CapabilityHost {
public:
    enum Refused { kNothing, kField, kFrameRates, kParameter };
    explicit RefusingHost(Refused refused) : m_refused(refused) {}

    ipcapture::ICapabilityField* GetConnectionField(uint32_t index) override
    {
        return m_refused == kField ? nullptr : CapabilityHost::GetConnectionField(index);
    }
    ipcapture::IFrameRateList* GetFrameRateList(uint32_t group) override
    {
        return m_refused == kFrameRates ? nullptr : CapabilityHost::GetFrameRateList(group);
    }
    ipcapture::ICapabilityParameter* AddParameter(uint32_t number) override
    {
        return m_refused == kParameter ? nullptr : CapabilityHost::AddParameter(number);
    }

private:
    const Refused m_refused;
};

TEST(CameraReply, ValuesSplitsSettingsTypesAndTheStoresFrameRatesAndResolutions)
{
    const std::vector<std::string> rows = ReadTestDataLines("capabilities/reply-values.txt");
    EXPECT_EQ(rows.size(), 14u);
    for (const std::string& row : rows) {
        const std::vector<std::string> fields = Split(Unescaped(row), '|');  // key, value, reply
        ASSERT_EQ(fields.size(), 3u) << row;
        EXPECT_EQ(GetValue(fields[2], fields[0], kInfoSeparator, kReplyLineSeparators), fields[1]) << row;
    }
    EXPECT_EQ(GetValue("key:=1", "", ":=", "\r\n"), "");
    EXPECT_EQ(GetValue("key:=1", "key", "", "\r\n"), "");
    EXPECT_EQ(GetValue("key:=1", "key", ":=", ""), "");
    EXPECT_EQ(GetValue("Valra02=00%3A1e\r\n", "Valra02", kSettingsSeparator, kReplyLineSeparators), "00%3A1e");

    // Numbers are the leading decimal digits.
    const std::string reply = "a:=12\r\nb:=\r\nc:=abc\r\nd:= 7 \r\ne:=3 (mono)\r\nf:=-1\r\ng:=99999999999\r\n";
    const std::pair<const char*, uint32_t> numbers[] = {{"a", 12u}, {"b", 0u}, {"c", 0u}, {"d", 7u}, {"e", 3u},
                                                        {"f", 0u},  {"g", 0xFFFFFFFFu}, {"missing", 0u}};
    for (const auto& [key, number] : numbers)
        EXPECT_EQ(GetUIntValue(reply, key, kInfoSeparator, kReplyLineSeparators), number) << key;

    EXPECT_EQ(Split("a,b,c", ','), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(Split("a,,b,", ','), (std::vector<std::string>{"a", "", "b", ""}));  // empty pieces are kept
    EXPECT_EQ(Split("", ','), (std::vector<std::string>{""}));
    EXPECT_EQ(Split("jpg:640x480", ':'), (std::vector<std::string>{"jpg", "640x480"}));

    EXPECT_EQ(ParseSettingsType("int%281%2C30%29"), (std::vector<std::string>{"1", "30"}));
    EXPECT_EQ(ParseSettingsType("int%280%2C100%29"), (std::vector<std::string>{"0", "100"}));
    EXPECT_EQ(ParseSettingsType("int%285%29"), (std::vector<std::string>{"5"}));
    EXPECT_TRUE(ParseSettingsType("").empty());
    EXPECT_EQ(SettingsTypeKey("dh04"), "Typdh04-0");
    EXPECT_EQ(ReplaceAll("00%3A1e%3A8f", "%3A", ":"), "00:1e:8f");

    // Frame rates are reported in the host's encoding; known resolutions only raise their maximum rate.
    // The host core library loaded (if any), whether the host takes more streams and high rates, rates and
    // their encodings.
    using Rates = std::vector<std::pair<uint32_t, uint32_t>>;
    const std::tuple<const char*, bool, bool, Rates> hosts[] = {
        {nullptr, false, false, {{0, 1000u}, {1, 1000u}, {15, 67u}, {25, 40u}, {30, 33u}, {60, 17u}}},
        {VEXHOST_61_PATH, true, false, {{60, 17u}}},
        {VEXHOST_64_PATH, true, true, {{30, 33u}, {31, 0x7000001Fu}, {0, 1000u}}}};
    for (const auto& [path, multiStream, highRate, rates] : hosts) {
        platform::DynamicLibrary hostCore;
        ASSERT_TRUE(path == nullptr || hostCore.Load(path));
        StoredProperties properties;
        EXPECT_EQ(std::make_pair(properties.IsMultiStreamHost(), properties.IsHighRateHost()),
                  std::make_pair(multiStream, highRate))
            << (path ? path : "no host core");
        for (const auto& [rate, encoded] : rates)
            EXPECT_EQ(properties.EncodeFrameRate(rate), encoded) << rate;
    }

    StoredProperties properties;
    // Width, height, maximum rate.
    const std::tuple<uint32_t, uint32_t, uint32_t> added[] = {{640, 480, 15}, {320, 240, 30}, {640, 480, 30},
                                                              {320, 240, 10}, {0, 480, 30},   {640, 0, 30},
                                                              {70000, 480, 30}};
    for (const auto& [width, height, rate] : added)
        properties.AddResolution(width, height, rate, kMainStreamGroup);
    const std::vector<STREAM_RESOLUTION>& list = properties.GetStream(kMainStreamGroup).resolutions;
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(std::tie(list[0].width, list[0].maxFrameRate, list[1].width, list[1].maxFrameRate),
              std::make_tuple(640, 30u, 320, 30u));
    EXPECT_TRUE(properties.GetStream(kLiveStreamGroup).resolutions.empty());

    properties.SetFrameRates(kLiveStreamGroup, 3);
    EXPECT_EQ(properties.GetStream(kLiveStreamGroup).frameRates, (std::set<uint32_t>{1, 2, 3}));
    EXPECT_EQ(properties.GetStream(kLiveStreamGroup).defaultFrameRate, 0u);
}

TEST(CapabilitySaver, StreamTextsEverythingInTheHostsOrderTheFirstFailingStepEndsAndRatelessResolutions)
{
    StoredProperties properties;
    STREAM_CAPABILITIES& stream = properties.m_streams[kLiveStreamGroup];
    EXPECT_EQ(CCapabilitySaver::CodecListText(stream), "");
    stream.codecs = {kCapabilityCodecJpeg, kCapabilityCodecH264, kCapabilityCodecMpeg4};
    EXPECT_EQ(CCapabilitySaver::CodecListText(stream), "h264,mpeg,jpeg");

    CapabilityHost host;
    CCapabilitySaver saver(properties, host);
    stream.resolutions = {{1280, 960, 0}, {640, 480, 15}, {0, 480, 30}};
    EXPECT_EQ(saver.ResolutionListText(stream), "1280x960:40,640x480:67");
    EXPECT_EQ(saver.FrameRateText(stream), "");

    stream.frameRates = {25, 5, 10};
    EXPECT_EQ(saver.ResolutionListText(stream), "1280x960:40,640x480:67");
    EXPECT_EQ(saver.FrameRateText(stream), "values=200,100,40;default=40");
    stream.defaultFrameRate = 10;
    EXPECT_EQ(saver.FrameRateText(stream), "values=200,100,40;default=100");
    stream.frameRates = {30};
    stream.defaultFrameRate = 0;
    EXPECT_EQ(saver.ResolutionListText(stream), "1280x960:33,640x480:67");

    // The saving stops at the first step that fails.
    StoredProperties minimal;
    minimal.FillMinimal();
    minimal.m_model.clear();
    CapabilityHost withoutModel;
    EXPECT_FALSE(CCapabilitySaver(minimal, withoutModel).Save());
    EXPECT_EQ(withoutModel.Text(), "");

    minimal.FillMinimal();
    minimal.m_streams[kMainStreamGroup].codecs.clear();
    CapabilityHost withoutCodecs;
    EXPECT_FALSE(CCapabilitySaver(minimal, withoutCodecs).Save());
    EXPECT_EQ(withoutCodecs.Text().find("value 0"), std::string::npos);
    EXPECT_EQ(withoutCodecs.Text().find("frame rate"), std::string::npos);

    minimal.FillMinimal();
    minimal.m_cameraCount = 0;
    CapabilityHost withoutCamera;
    EXPECT_FALSE(CCapabilitySaver(minimal, withoutCamera).Save());

    minimal.FillMinimal();
    for (RefusingHost::Refused refused : {RefusingHost::kField, RefusingHost::kFrameRates, RefusingHost::kParameter}) {
        RefusingHost refusing(refused);
        EXPECT_FALSE(CCapabilitySaver(minimal, refusing).Save()) << refused;
    }
    RefusingHost accepting(RefusingHost::kNothing);
    EXPECT_TRUE(CCapabilitySaver(minimal, accepting).Save());

    for (uint32_t standard : {0u, 1u}) {
        StoredProperties rateless(standard);
        rateless.FillMinimal();
        rateless.m_streams[kMainStreamGroup].frameRates.clear();
        rateless.AddResolution(320, 240, 0, kMainStreamGroup);
        CapabilityHost saved;
        EXPECT_FALSE(CCapabilitySaver(rateless, saved).Save());  // no frame rates
        EXPECT_THAT(saved.Text(), HasSubstr(standard == 0 ? "resolution \"320x240\" 320 240 40\n"
                                                           : "resolution \"320x240\" 320 240 33\n"));
    }

    // Everything is written in the host's order.
    platform::DynamicLibrary hostCore;
    ASSERT_TRUE(hostCore.Load(VEXHOST_61_PATH));
    StoredProperties everything(0);
    everything.FillEverything();
    CapabilityHost written;
    ASSERT_TRUE(CCapabilitySaver(everything, written).Save());
    EXPECT_EQ(written.Text(), ReadTestData("capabilities/saved-in-host-order.txt") + "\n");
}

}  // namespace
