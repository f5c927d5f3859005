// End-to-end tests of the tallowcam program against the simulated camera.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "TransportConfiguration.h"
#include "camsim/Camera.h"
#include "platform/ChildProcess.h"
#include "platform/Network.h"
#include "platform/TcpSocket.h"
#include "runtime/Configuration.h"
#include "support/CameraAddress.h"
#include "support/FrameDecoding.h"
#include "support/ScratchDirectory.h"
#include "support/TestData.h"

namespace {

using ::testing::HasSubstr;
using korvane::test::CameraAddress;
using korvane::test::CameraSite;
using korvane::test::ScratchDirectory;
using tallowcam_host::Transport;
using tallowcam_host::TransportConfiguration;

const char* const kPassword = "secret-7";

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct ToolRun {
    int exitStatus = -1;
    std::string out;
    std::string err;
};

// Runs a program (the tallowcam program or a copy of it) and collects what it printed.
ToolRun RunTool(const std::string& program, const std::vector<std::string>& arguments)
{
    const auto quote = [](const std::string& text) {
        std::string quoted = "'";
        for (char c : text)
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return quoted + "'";
    };
    ScratchDirectory scratch;
    std::string command = quote(program);
    for (const std::string& argument : arguments)
        command += " " + quote(argument);
    command += " >" + quote(scratch.Path() + "out") + " 2>" + quote(scratch.Path() + "err") + " </dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(scratch.Path() + "out"),
            ReadFile(scratch.Path() + "err")};
}

// The program ran to success; what it printed.
std::string Succeeded(const ToolRun& run)
{
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    return run.out;
}

// The program failed, naming the cause.
void ExpectFailure(const ToolRun& run, const std::string& cause)
{
    EXPECT_NE(run.exitStatus, 0);
    EXPECT_THAT(run.err, HasSubstr(cause));
}

class CliTest : public ::testing::Test {
protected:
    static camsim::CameraOptions DigestCamera()
    {
        camsim::CameraOptions options;
        options.address = CameraAddress(CameraSite::Cli);
        options.auth = {"root", kPassword, {camsim::AuthScheme::Digest}};
        return options;
    }

    void StartCamera(const camsim::CameraOptions& options = DigestCamera())
    {
        m_camera = std::make_unique<camsim::Camera>(options);
        ASSERT_TRUE(m_camera->Start());
        m_cameraArguments = {"--port", std::to_string(m_camera->HttpPort()), "--user", "root", "--password", kPassword};
    }

    // The command with the camera's address, `arguments`, then its port and credentials.
    ToolRun OnCamera(const std::string& command, std::vector<std::string> arguments = {}) const
    {
        arguments.insert(arguments.begin(), {command, m_camera->DeviceInfo().address});
        arguments.insert(arguments.end(), m_cameraArguments.begin(), m_cameraArguments.end());
        return RunTool(m_program, arguments);
    }

    // ffprobe decodes every frame of the file without an error line, to pictures of the size given (not
    // checked without ffprobe).
    static void ExpectFfprobeDecodes(const std::string& path, const std::string& codec, uint32_t width = 0,
                                     uint32_t height = 0)
    {
        if (!korvane::test::HaveFfmpeg())
            return;
        const std::string report = korvane::test::RunCommand(
            "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
            "stream=codec_name,width,height,nb_read_frames -of csv=p=0 '" + path + "'");
        char decoded[16] = "";
        unsigned decodedWidth = 0, decodedHeight = 0, frames = 0;
        ASSERT_EQ(std::sscanf(report.c_str(), "%15[^,],%u,%u,%u", decoded, &decodedWidth, &decodedHeight, &frames), 4)
            << path << ": " << report;
        EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 1) << path << ": " << report;
        EXPECT_EQ(decoded, codec);
        EXPECT_GT(frames, 0u);
        if (width != 0) {
            EXPECT_EQ(std::make_pair(decodedWidth, decodedHeight), std::make_pair(width, height));
        }
    }

    std::unique_ptr<camsim::Camera> m_camera;
    std::vector<std::string> m_cameraArguments;
    std::string m_program = TALLOWCAM_CLI_PATH;
};

TEST_F(CliTest, ProbeRecordRefusalsEventsOutputsPresetsPtzAndAnRtspPortTheDriverCannotReach)
{
    StartCamera();
    const ToolRun run = OnCamera("probe", {"--json"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const nlohmann::json json = nlohmann::json::parse(run.out);
    EXPECT_THAT(json["deviceName"].get<std::string>(), HasSubstr("VB-H45"));
    // Capabilities 8 and 7: H.264 and Motion JPEG.
    EXPECT_EQ(nlohmann::json::array({json["outcome"], json["capabilities"]["8"]["value"],
                                     json["capabilities"]["7"]["value"], json["parameters"]["2"]["name"],
                                     json["parameters"]["2"]["value"], json["parameters"]["1"]["kind"]}),
              nlohmann::json::array({"completed", 1, 1, "Firmware", "Ver. 1.3.0", "number"}));
    EXPECT_FALSE(json["resolutions"].empty());
    EXPECT_THAT(run.out, ::testing::Not(HasSubstr(kPassword))) << "the password is not printed";

    const std::string report = Succeeded(OnCamera("probe"));
    for (const char* line : {"Camera:       Canon VB-H45", "Codecs:       H.264, Motion JPEG", "MAC Address"})
        EXPECT_THAT(report, HasSubstr(line));

    m_cameraArguments.back() = "wrong";
    ExpectFailure(OnCamera("probe"), "bad credentials");

    m_cameraArguments.back() = kPassword;
    m_camera->Stop();  // nothing listens on its port any more
    const std::pair<const char*, std::vector<std::string>> commands[] = {
        {"probe", {}}, {"record", {"--out", "/dev/null", "--seconds", "1"}}};
    for (const auto& [command, arguments] : commands) {
        SCOPED_TRACE(command);
        ExpectFailure(OnCamera(command, arguments), "camera unreachable");
    }
    const ToolRun unreachable = OnCamera("probe", {"--json"});
    EXPECT_NE(unreachable.exitStatus, 0);
    const nlohmann::json failure = nlohmann::json::parse(unreachable.out);
    EXPECT_EQ(nlohmann::json::array({failure["outcome"], failure["status"]}), nlohmann::json::array({"failed", 2}));

    // A recording refuses an unknown codec name and a codec the camera lacks.
    ExpectFailure(RunTool(m_program, {"record", "127.0.0.1", "--codec", "mpeg4", "--out", "/dev/null"}), "--codec");

    camsim::CameraOptions options = DigestCamera();
    options.model.videoList = {"jpg:640x480", "jpg:320x240"};
    StartCamera(options);
    ScratchDirectory scratch;
    const std::string out = scratch.Path() + "never.h264";
    ExpectFailure(OnCamera("record", {"--codec", "h264", "--seconds", "1", "--out", out}), "unsupported codec");
    EXPECT_FALSE(std::filesystem::exists(out));

    // The camera's RTSP server is not on port 554: streams stay without frames.
    StartCamera();
    m_camera->Events().SetMotionAreas({{1, true}});
    m_camera->Events().SetInput(1, "1");
    const std::string events = Succeeded(OnCamera("events", {"--seconds", "1.5"}));
    // The edge ends on the camera's state.
    EXPECT_THAT(events, ::testing::AllOf(::testing::ContainsRegex("motion off(.|\n)*motion on"),
                                         HasSubstr("input 0 on"), HasSubstr("input 1 off")));
    const auto sent = [this](const std::string& part) {
        const std::vector<std::string> targets = m_camera->HttpRequests().Targets();
        return std::any_of(targets.begin(), targets.end(), [&](const std::string& target) {
            return target.find(part) != std::string::npos;
        });
    };
    EXPECT_FALSE(sent("control.cgi?o.")) << "watching leaves the outputs alone";

    EXPECT_THAT(Succeeded(OnCamera("output", {"1", "on"})), HasSubstr("output 1 on"));
    EXPECT_EQ(m_camera->Events().Output(2) + m_camera->Events().Output(1), "10") << "outputs 2 and 1";
    ExpectFailure(OnCamera("output", {"2", "on"}), "the camera has 2 output(s)");

    for (const char* name : {"Door", "Gate"})
        Succeeded(OnCamera("presets", {"set", name}));
    EXPECT_EQ(Succeeded(OnCamera("presets", {"list"})), "2 preset(s)\n  Door\n  Gate\n");
    Succeeded(OnCamera("presets", {"goto", "Door", "--speed", "4"}));
    const std::vector<camsim::PtzRecallSpeed> speeds = m_camera->Ptz().RecallSpeeds();
    ASSERT_EQ(speeds.size(), 1u);
    EXPECT_EQ(std::stod(speeds[0].panTiltX), 0.25);  // host speed 4 of 16
    ASSERT_EQ(OnCamera("presets", {"delete", "Gate"}).exitStatus, 0);
    const std::vector<camsim::PtzPreset> left = m_camera->Ptz().Presets();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].name, "Door");
    ExpectFailure(OnCamera("presets", {"goto", "Gate"}), "is there a preset \"Gate\"?");
    ExpectFailure(OnCamera("presets", {"set", "a<b"}), "\"a<b\" is not a valid preset name");

    EXPECT_EQ(Succeeded(OnCamera("ptz", {"move", "left", "--duration", "100"})), "left: 1\nstop: 1\n");
    EXPECT_TRUE(sent("control.cgi?pan=left")) << "the capabilities the camera reported allow panning";
    EXPECT_TRUE(sent("control.cgi?pan=stop"));

    ExpectFailure(OnCamera("record", {"--out", "/dev/null", "--wait", "1"}),
                  "no frames arrived within 1 s; likely cause: the driver cannot connect to the camera's RTSP port " +
                      m_camera->DeviceInfo().address + ":554");
}

// Streaming through the plug-in reaches the camera's RTSP server on port 554
// of the CLI tests' address, so one test runs every streaming case, one camera
// at a time: the demonstration, camsim run by hand, recordings and audio.
TEST_F(CliTest, TransportFilesStreamingDemoCamsimByHandRecordingsAndAudio)
{
    // The file written for each transport reads back as that transport in the driver.
    ScratchDirectory files;
    korvane::DEVICE_INFO device;
    device.address = "127.0.0.1";
    // The transport, the streaming mode and the RTP mode the driver reads.
    const std::tuple<Transport, uint32_t, uint32_t> cases[] = {
        {Transport::Udp, korvane::kStreamingUnicast, korvane::kRtpModeDefault},
        {Transport::Tcp, korvane::kStreamingUnicast, korvane::kRtpModeOverRtsp},
        {Transport::Multicast, korvane::kStreamingMulticastPrimary, korvane::kRtpModeDefault}};
    for (const auto& [transport, streamingMode, rtpMode] : cases) {
        files.WriteFile("Tallowcam.xml", TransportConfiguration::FileContents(transport));
        EXPECT_EQ(std::make_tuple(korvane::CConfiguration::GetStreamingMode("Tallowcam", files.Path()),
                                  korvane::CConfiguration("Tallowcam", files.Path(), device).GetSettings().rtpMode),
                  std::make_tuple(streamingMode, rtpMode));
    }

    // Another program's RTSP server on 127.0.0.1:554 (held here while free) leaves the recordings alone.
    korvane::platform::TcpSocket otherServer;
    if (otherServer.Create())
        otherServer.Listen(korvane::platform::ParseIPv4("127.0.0.1"), 554);
    ScratchDirectory scratch;
    const std::string address = CameraAddress(CameraSite::Cli);
    const std::string demo =
        Succeeded(RunTool(m_program, {"demo", "--seconds", "1", "--address", address, "--out-dir", scratch.Path()}));
    EXPECT_THAT(demo, HasSubstr("Demo finished: both streams recorded"));
    for (const char* title : {"H.264 recording:\n  frames:", "Motion JPEG recording:\n  frames:"}) {
        const size_t at = demo.find(title);
        ASSERT_NE(at, std::string::npos) << demo;
        EXPECT_GT(std::stoul(demo.substr(at + std::string(title).size())), 0u) << title;
    }
    EXPECT_THAT(demo, HasSubstr("Frames still held by the driver: 0"));
    ExpectFfprobeDecodes(scratch.Path() + "demo.h264", "h264");
    ExpectFfprobeDecodes(scratch.Path() + "demo.mjpeg", "mjpeg");

    {
        // camsim run by hand serves RTSP on port 554, where the driver connects, and says so when it cannot.
        korvane::platform::ChildProcess camsim;
        ASSERT_TRUE(camsim.Start(TALLOWCAM_CAMSIM_PATH, {"--port", "0", "--address", address}));
        std::string line;
        unsigned httpPort = 0, rtspPort = 0;
        ASSERT_TRUE(camsim.ReadLine(line, 10000));
        ASSERT_EQ(std::sscanf(line.c_str(), "camsim: http on %*[^:]:%u, rtsp on port %u", &httpPort, &rtspPort), 2)
            << line;
        EXPECT_EQ(rtspPort, 554u);
        Succeeded(RunTool(m_program, {"record", address, "--port", std::to_string(httpPort), "--seconds", "1", "--out",
                                      scratch.Path() + "by-hand.h264"}));
        ExpectFfprobeDecodes(scratch.Path() + "by-hand.h264", "h264");
        const ToolRun run = RunTool("timeout", {"10", TALLOWCAM_CAMSIM_PATH, "--port", "0", "--address", address});
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_THAT(run.err, HasSubstr("cannot listen for RTSP on " + address + ":554"));
    }

    // A copy of the program: the transport file it writes beside itself is this test's alone.
    m_program = scratch.Path() + "tallowcam";
    std::filesystem::copy_file(TALLOWCAM_CLI_PATH, m_program);
    const std::string configuration = scratch.Path() + "Tallowcam.xml";
    camsim::CameraOptions options = DigestCamera();
    options.rtspPort = 554;
    options.model.secondStream = true;
    StartCamera(options);
    const std::vector<std::string> recordings = korvane::test::ReadTestDataLines("cli/recordings.txt");
    EXPECT_EQ(recordings.size(), 6u);
    for (const std::string& recording : recordings) {
        SCOPED_TRACE(recording);
        std::istringstream fields(recording);
        std::string codec, stream, transport, seconds, width, height, framesPerSecond, path;
        fields >> codec >> stream >> transport >> seconds >> width >> height >> framesPerSecond >> path;
        const bool h264 = codec == "h264";
        const std::string out = scratch.Path() + stream + (h264 ? ".h264" : ".mjpeg");
        Succeeded(OnCamera("record", {"--codec", codec, "--stream", stream, "--transport", transport, "--width",
                                      width, "--height", height, "--fps", framesPerSecond, "--seconds", seconds,
                                      "--out", out}));
        EXPECT_FALSE(std::filesystem::exists(configuration)) << "the tool removes the transport file it wrote";
        const camsim::StreamDescription served = m_camera->Streams().Described().back();
        EXPECT_THAT(served.path, HasSubstr(path));
        EXPECT_EQ(std::to_string(served.width) + "x" + std::to_string(served.height), width + "x" + height);
        // An Annex B start code or the JPEG SOI; what camsim sends is its sample picture of the codec.
        const std::string lead = h264 ? std::string("\0\0\1", 3) : "\xFF\xD8";
        EXPECT_EQ(ReadFile(out).substr(0, lead.size()), lead);
        const std::string sample = camsim::NearestSample(served.codec, served.width, served.height);
        unsigned sampleWidth = 0, sampleHeight = 0;
        ASSERT_EQ(std::sscanf(std::filesystem::path(sample).filename().c_str(), "sample%ux%u.", &sampleWidth,
                              &sampleHeight), 2) << sample;
        ExpectFfprobeDecodes(out, h264 ? "h264" : "mjpeg", sampleWidth, sampleHeight);
    }
    // An installed configuration comes back after a recording with another transport.
    const std::string installed = "<Configuration><StreamingMode>unicast</StreamingMode></Configuration>\n";
    scratch.WriteFile("Tallowcam.xml", installed);
    Succeeded(OnCamera("record", {"--codec", "h264", "--stream", "rec", "--transport", "tcp", "--seconds", "1", "--out",
                                  scratch.Path() + "again.h264"}));
    EXPECT_EQ(ReadFile(configuration), installed);

    // The microphone recorded into a file, and the file played back on the loudspeaker.
    const std::string wav = scratch.Path() + "heard.wav";
    EXPECT_THAT(Succeeded(OnCamera("audio", {"--listen", "1", "--out", wav})),
                HasSubstr("Wrote 8000 bytes of audio (1.0 s)"));
    EXPECT_EQ(std::filesystem::file_size(wav), 58u + 8000u);  // RIFF, fmt, fact and data headers
    Succeeded(OnCamera("audio", {"--say", wav}));  // ends only once the driver gave every packet back
    std::string uploaded;
    for (const camsim::AudioUpload& upload : m_camera->Audio().Uploads()) {
        EXPECT_EQ(upload.error, "");
        uploaded.append(upload.audio.begin(), upload.audio.end());
    }
    EXPECT_EQ(uploaded.size(), 8000u);
    EXPECT_EQ(uploaded, ReadFile(wav).substr(58)) << "the sound of the file";
    if (!korvane::test::HaveFfmpeg())
        GTEST_SKIP() << "ffprobe is not installed: the files were not decoded";
}

}  // namespace
