// End-to-end tests of the tallowcam program against the simulated camera.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "TransportConfiguration.h"
#include "ToolRunner.h"
#include "camsim/Camera.h"
#include "platform/ChildProcess.h"
#include "platform/Network.h"
#include "platform/TcpSocket.h"
#include "runtime/Configuration.h"
#include "support/CameraAddress.h"
#include "support/ScratchDirectory.h"

namespace {

using korvane::test::CameraAddress;
using korvane::test::CameraSite;
using tallowcam_host::Transport;
using tallowcam_host::TransportConfiguration;
using tallowcam_test::RunTool;
using tallowcam_test::ToolRun;

const char* const kPassword = "secret-7";

class CliTest : public ::testing::Test {
protected:
    static camsim::CameraOptions DigestCamera()
    {
        camsim::CameraOptions options;
        options.address = CameraAddress(CameraSite::Cli);
        options.auth.user = "root";
        options.auth.password = kPassword;
        options.auth.schemes = {camsim::AuthScheme::Digest};
        return options;
    }

    void StartCamera(const camsim::CameraOptions& options = DigestCamera())
    {
        m_camera = std::make_unique<camsim::Camera>(options);
        ASSERT_TRUE(m_camera->Start());
    }

    std::vector<std::string> CameraArguments(const std::string& password = kPassword) const
    {
        return {m_camera->DeviceInfo().address, "--port", std::to_string(m_camera->HttpPort()), "--user", "root", "--password",
                password};
    }

    static ToolRun Tool(const std::string& command, std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), command);
        return RunTool(TALLOWCAM_CLI_PATH, arguments);
    }

    // The file decodes without an error line (not checked without ffprobe).
    static void ExpectFfprobeDecodes(const std::string& path, const std::string& codec)
    {
        if (!tallowcam_test::HaveProgram("ffprobe"))
            return;
        tallowcam_test::ProbedVideo probed;
        std::string error;
        ASSERT_TRUE(tallowcam_test::ProbeVideoFile(path, probed, error)) << path << ": " << error;
        EXPECT_EQ(probed.codec, codec);
        EXPECT_GT(probed.frames, 0u);
    }

    std::unique_ptr<camsim::Camera> m_camera;
};

TEST_F(CliTest, ProbeJsonCarriesTheCameraAndItsNumberedParameters)
{
    StartCamera();
    const ToolRun run = Tool("probe", [&] {
        auto arguments = CameraArguments();
        arguments.push_back("--json");
        return arguments;
    }());
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const nlohmann::json json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["outcome"], "completed");
    EXPECT_NE(json["deviceName"].get<std::string>().find("VB-H45"), std::string::npos);
    EXPECT_EQ(json["capabilities"]["8"]["value"], 1);  // H.264
    EXPECT_EQ(json["capabilities"]["7"]["value"], 1);  // Motion JPEG
    EXPECT_EQ(json["parameters"]["2"]["name"], "Firmware");
    EXPECT_EQ(json["parameters"]["2"]["value"], "Ver. 1.3.0");
    EXPECT_EQ(json["parameters"]["1"]["kind"], "number");
    EXPECT_FALSE(json["resolutions"].empty());
    EXPECT_EQ(run.out.find(kPassword), std::string::npos) << "the password is not printed";
}

TEST_F(CliTest, ProbePrintsAReadableReport)
{
    StartCamera();
    const ToolRun run = Tool("probe", CameraArguments());
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.out.find("Camera:       Canon VB-H45"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Codecs:       H.264, Motion JPEG"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("MAC Address"), std::string::npos) << run.out;
}

TEST_F(CliTest, UnreachableCameraIsNamedAsSuch)
{
    StartCamera();
    const std::vector<std::string> arguments = CameraArguments();
    m_camera->Stop();  // nothing listens on its port any more

    const ToolRun probe = Tool("probe", arguments);
    EXPECT_NE(probe.exitStatus, 0);
    EXPECT_NE(probe.err.find("camera unreachable"), std::string::npos) << probe.err;

    std::vector<std::string> record = arguments;
    record.insert(record.end(), {"--out", "/dev/null", "--seconds", "1"});
    const ToolRun recording = Tool("record", record);
    EXPECT_NE(recording.exitStatus, 0);
    EXPECT_NE(recording.err.find("camera unreachable"), std::string::npos) << recording.err;
}

TEST_F(CliTest, ProbeJsonOfAnUnreachableCameraStillParses)
{
    StartCamera();
    std::vector<std::string> arguments = CameraArguments();
    m_camera->Stop();
    arguments.push_back("--json");
    const ToolRun run = Tool("probe", arguments);
    EXPECT_NE(run.exitStatus, 0);
    const nlohmann::json json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["outcome"], "failed");
    EXPECT_EQ(json["status"], 2);
}

TEST_F(CliTest, RefusedCredentialsAreNamedAsSuch)
{
    StartCamera();
    const ToolRun run = Tool("probe", CameraArguments("wrong"));
    EXPECT_NE(run.exitStatus, 0);
    EXPECT_NE(run.err.find("bad credentials"), std::string::npos) << run.err;
}

TEST_F(CliTest, RecordRefusesACodecTheCameraLacks)
{
    camsim::CameraOptions options = DigestCamera();
    options.model.videoList = {"jpg:640x480", "jpg:320x240"};
    StartCamera(options);
    korvane::test::ScratchDirectory scratch;
    const std::string out = scratch.Path() + "never.h264";
    std::vector<std::string> arguments = CameraArguments();
    arguments.insert(arguments.end(), {"--codec", "h264", "--seconds", "1", "--out", out});
    const ToolRun run = Tool("record", arguments);
    EXPECT_NE(run.exitStatus, 0);
    EXPECT_NE(run.err.find("unsupported codec"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CliTest, RecordRejectsAnUnknownCodecName)
{
    const ToolRun run = Tool("record", {"127.0.0.1", "--codec", "mpeg4", "--out", "/dev/null"});
    EXPECT_NE(run.exitStatus, 0);
    EXPECT_NE(run.err.find("--codec"), std::string::npos) << run.err;
}

TEST_F(CliTest, EventsPrintsMotionAndInputsAndOutputSwitchesOneOutput)
{
    StartCamera();  // its RTSP server is not on port 554: the stream stays without frames
    m_camera->Events().SetMotionAreas({{1, true}});
    m_camera->Events().SetInput(1, "1");

    std::vector<std::string> watch = CameraArguments();
    watch.insert(watch.end(), {"--seconds", "1.5"});
    const ToolRun events = Tool("events", watch);
    ASSERT_EQ(events.exitStatus, 0) << events.err;
    const size_t off = events.out.find("motion off");
    EXPECT_NE(off, std::string::npos) << events.out;
    EXPECT_NE(events.out.find("motion on", off), std::string::npos) << "the edge ends on the camera's state\n"
                                                                    << events.out;
    EXPECT_NE(events.out.find("input 0 on"), std::string::npos) << events.out;
    EXPECT_NE(events.out.find("input 1 off"), std::string::npos) << events.out;
    const std::vector<std::string> targets = m_camera->HttpRequests().Targets();
    EXPECT_TRUE(std::none_of(targets.begin(), targets.end(),
                             [](const std::string& target) { return target.find("control.cgi?o.") != std::string::npos; }))
        << "watching leaves the outputs alone";

    std::vector<std::string> output = CameraArguments();
    output.insert(output.begin() + 1, {"1", "on"});
    const ToolRun switched = Tool("output", output);
    ASSERT_EQ(switched.exitStatus, 0) << switched.err;
    EXPECT_NE(switched.out.find("output 1 on"), std::string::npos) << switched.out;
    EXPECT_EQ(m_camera->Events().Output(2), "1");
    EXPECT_EQ(m_camera->Events().Output(1), "0");

    output[1] = "2";
    const ToolRun missing = Tool("output", output);
    EXPECT_NE(missing.exitStatus, 0);
    EXPECT_NE(missing.err.find("the camera has 2 output(s)"), std::string::npos) << missing.err;
}

TEST_F(CliTest, PresetsAreStoredListedRecalledAndDeleted)
{
    StartCamera();
    const auto presets = [this](std::vector<std::string> action) {
        std::vector<std::string> arguments = CameraArguments();
        arguments.insert(arguments.begin() + 1, action.begin(), action.end());
        return Tool("presets", arguments);
    };
    for (const char* name : {"Door", "Gate"}) {
        const ToolRun stored = presets({"set", name});
        ASSERT_EQ(stored.exitStatus, 0) << stored.err;
    }
    const ToolRun listed = presets({"list"});
    ASSERT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_EQ(listed.out, "2 preset(s)\n  Door\n  Gate\n");

    const ToolRun recalled = presets({"goto", "Door", "--speed", "4"});
    ASSERT_EQ(recalled.exitStatus, 0) << recalled.err;
    const std::vector<camsim::PtzRecallSpeed> speeds = m_camera->Ptz().RecallSpeeds();
    ASSERT_EQ(speeds.size(), 1u);
    EXPECT_EQ(std::stod(speeds[0].panTiltX), 0.25);  // host speed 4 of 16

    ASSERT_EQ(presets({"delete", "Gate"}).exitStatus, 0);
    const std::vector<camsim::PtzPreset> left = m_camera->Ptz().Presets();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].name, "Door");

    const ToolRun missing = presets({"goto", "Gate"});
    EXPECT_NE(missing.exitStatus, 0);
    EXPECT_NE(missing.err.find("is there a preset \"Gate\"?"), std::string::npos) << missing.err;
    const ToolRun invalid = presets({"set", "a<b"});
    EXPECT_NE(invalid.exitStatus, 0);
    EXPECT_NE(invalid.err.find("\"a<b\" is not a valid preset name"), std::string::npos) << invalid.err;
}

TEST_F(CliTest, PtzMoveRunsTheMotionAndStopsIt)
{
    StartCamera();
    std::vector<std::string> arguments = CameraArguments();
    arguments.insert(arguments.begin() + 1, {"move", "left", "--duration", "100"});
    const ToolRun run = Tool("ptz", arguments);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, "left: 1\nstop: 1\n");
    const std::vector<std::string> targets = m_camera->HttpRequests().Targets();
    const auto sent = [&targets](const std::string& part) {
        return std::find_if(targets.begin(), targets.end(), [&part](const std::string& target) {
                   return target.find(part) != std::string::npos;
               }) != targets.end();
    };
    EXPECT_TRUE(sent("control.cgi?pan=left")) << "the capabilities the camera reported allow panning";
    EXPECT_TRUE(sent("control.cgi?pan=stop"));
}

TEST_F(CliTest, AudioRecordsTheMicrophoneAndPlaysTheFileBack)
{
    camsim::CameraOptions options = DigestCamera();
    options.rtspPort = 554;
    StartCamera(options);
    korvane::test::ScratchDirectory scratch;
    const std::string wav = scratch.Path() + "heard.wav";

    std::vector<std::string> listen = CameraArguments();
    listen.insert(listen.end(), {"--listen", "1", "--out", wav});
    const ToolRun heard = Tool("audio", listen);
    ASSERT_EQ(heard.exitStatus, 0) << heard.err;
    EXPECT_NE(heard.out.find("Wrote 8000 bytes of audio (1.0 s)"), std::string::npos) << heard.out;
    EXPECT_EQ(std::filesystem::file_size(wav), 58u + 8000u);  // RIFF, fmt, fact and data headers

    std::vector<std::string> say = CameraArguments();
    say.insert(say.end(), {"--say", wav});
    const ToolRun played = Tool("audio", say);
    ASSERT_EQ(played.exitStatus, 0) << played.err;
    size_t uploaded = 0;
    for (const camsim::AudioUpload& upload : m_camera->Audio().Uploads())
        uploaded += upload.audio.size();
    EXPECT_EQ(uploaded, 8000u);
}

TEST_F(CliTest, RecordNamesAnRtspPortTheDriverCannotReach)
{
    StartCamera();  // its RTSP server is not on port 554
    std::vector<std::string> arguments = CameraArguments();
    arguments.insert(arguments.end(), {"--out", "/dev/null", "--wait", "1"});
    const ToolRun run = Tool("record", arguments);
    EXPECT_NE(run.exitStatus, 0);
    EXPECT_NE(run.err.find("no frames arrived within 1 s; likely cause: the driver cannot connect to the camera's "
                           "RTSP port " + m_camera->DeviceInfo().address + ":554"),
              std::string::npos)
        << run.err;
}

// camsim run by hand serves RTSP on port 554, where the driver connects, and
// says so when it cannot take that port.
TEST_F(CliTest, CamsimRunByHandIsRecordedOrNamesTheRtspPortItCannotTake)
{
    const std::string address = CameraAddress(CameraSite::Cli);
    korvane::platform::ChildProcess camsim;
    ASSERT_TRUE(camsim.Start(TALLOWCAM_CAMSIM_PATH, {"--port", "0", "--address", address}));
    std::string line;
    unsigned httpPort = 0, rtspPort = 0;
    ASSERT_TRUE(camsim.ReadLine(line, 10000));
    ASSERT_EQ(std::sscanf(line.c_str(), "camsim: http on %*[^:]:%u, rtsp on port %u", &httpPort, &rtspPort), 2) << line;
    EXPECT_EQ(rtspPort, 554u);
    korvane::test::ScratchDirectory scratch;
    const std::string out = scratch.Path() + "by-hand.h264";
    const ToolRun recorded = Tool("record", {address, "--port", std::to_string(httpPort), "--seconds", "1", "--out", out});
    ASSERT_EQ(recorded.exitStatus, 0) << recorded.err;
    ExpectFfprobeDecodes(out, "h264");

    const ToolRun second = RunTool("timeout", {"10", TALLOWCAM_CAMSIM_PATH, "--port", "0", "--address", address});
    EXPECT_EQ(second.exitStatus, 1);
    EXPECT_NE(second.err.find("cannot listen for RTSP on " + address + ":554"), std::string::npos) << second.err;
}

// The file written for each transport reads back as that transport in the driver.
TEST(TransportConfigurationTest, FileGivesTheDriverTheChosenTransport)
{
    korvane::test::ScratchDirectory scratch;
    korvane::DEVICE_INFO device;
    device.address = "127.0.0.1";
    struct Expected {
        Transport transport;
        uint32_t streamingMode;
        uint32_t rtpMode;
    };
    const Expected cases[] = {{Transport::Udp, korvane::kStreamingUnicast, korvane::kRtpModeDefault},
                              {Transport::Tcp, korvane::kStreamingUnicast, korvane::kRtpModeOverRtsp},
                              {Transport::Multicast, korvane::kStreamingMulticastPrimary, korvane::kRtpModeDefault}};
    for (const Expected& expected : cases) {
        scratch.WriteFile("Tallowcam.xml", TransportConfiguration::FileContents(expected.transport));
        EXPECT_EQ(korvane::CConfiguration::GetStreamingMode("Tallowcam", scratch.Path()), expected.streamingMode);
        EXPECT_EQ(korvane::CConfiguration("Tallowcam", scratch.Path(), device).GetSettings().rtpMode,
                  expected.rtpMode);
    }
}

// Streaming through the plug-in reaches the camera's RTSP server on port 554,
// so one test runs every streaming case, one camera at a time.
class CliStreamingTest : public CliTest {
protected:
    // A copy of the program in its own directory: the transport file it
    // writes beside itself is then this test's alone.
    static std::string CopyOfTool(const korvane::test::ScratchDirectory& scratch)
    {
        const std::string copy = scratch.Path() + "tallowcam";
        std::filesystem::copy_file(TALLOWCAM_CLI_PATH, copy);
        return copy;
    }

    static std::string ReadText(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    void ExpectDemoRecordsBothStreams()
    {
        korvane::test::ScratchDirectory scratch;
        const ToolRun run =
            Tool("demo", {"--seconds", "1", "--address", CameraAddress(CameraSite::Cli), "--out-dir", scratch.Path()});
        ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
        EXPECT_NE(run.out.find("Demo finished: both streams recorded"), std::string::npos) << run.out;
        for (const char* title : {"H.264 recording:\n  frames:", "Motion JPEG recording:\n  frames:"}) {
            const size_t at = run.out.find(title);
            ASSERT_NE(at, std::string::npos) << run.out;
            EXPECT_GT(std::stoul(run.out.substr(at + std::string(title).size())), 0u) << title;
        }
        EXPECT_NE(run.out.find("Frames still held by the driver: 0"), std::string::npos) << run.out;
        ExpectFfprobeDecodes(scratch.Path() + "demo.h264", "h264");
        ExpectFfprobeDecodes(scratch.Path() + "demo.mjpeg", "mjpeg");
    }

    ToolRun Record(const std::string& tool, const std::string& codec, const std::string& stream,
                   const std::string& transport, const std::string& out)
    {
        std::vector<std::string> arguments = CameraArguments();
        arguments.insert(arguments.begin(), "record");
        arguments.insert(arguments.end(), {"--codec", codec, "--stream", stream, "--transport", transport,
                                           "--seconds", "1", "--out", out});
        return RunTool(tool, arguments);
    }
};

TEST_F(CliStreamingTest, DemoAndRecordingsOverEachTransport)
{
    // Another program's RTSP server on 127.0.0.1:554 (held here while free) leaves the recordings alone.
    korvane::platform::TcpSocket otherServer;
    if (otherServer.Create())
        otherServer.Listen(korvane::platform::ParseIPv4("127.0.0.1"), 554);
    {
        SCOPED_TRACE("demo");
        ExpectDemoRecordsBothStreams();
    }

    korvane::test::ScratchDirectory scratch;
    const std::string tool = CopyOfTool(scratch);
    const std::string configuration = scratch.Path() + "Tallowcam.xml";
    camsim::CameraOptions options = DigestCamera();
    options.rtspPort = 554;
    StartCamera(options);

    struct Case {
        const char* codec;
        const char* stream;
        const char* transport;
        const char* file;
        const char* ffprobeCodec;
    };
    // The main stream goes through StartChannel, the others through StartStream.
    for (const Case& c : {Case{"h264", "rec", "udp", "out.h264", "h264"},
                          Case{"jpeg", "live", "tcp", "out.mjpeg", "mjpeg"}}) {
        SCOPED_TRACE(std::string(c.codec) + " " + c.stream + " over " + c.transport);
        const ToolRun run = Record(tool, c.codec, c.stream, c.transport, scratch.Path() + c.file);
        ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
        EXPECT_FALSE(std::filesystem::exists(configuration)) << "the tool removes the transport file it wrote";
        ExpectFfprobeDecodes(scratch.Path() + c.file, c.ffprobeCodec);
    }

    // An installed configuration comes back after a recording with another transport.
    const std::string installed = "<Configuration><StreamingMode>unicast</StreamingMode></Configuration>\n";
    scratch.WriteFile("Tallowcam.xml", installed);
    const ToolRun run = Record(tool, "h264", "rec", "tcp", scratch.Path() + "again.h264");
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(ReadText(configuration), installed);
    if (!tallowcam_test::HaveProgram("ffprobe"))
        GTEST_SKIP() << "ffprobe is not installed: the files were not decoded";
}

}  // namespace
