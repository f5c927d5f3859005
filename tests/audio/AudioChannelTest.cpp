// The audio channels end to end against the simulated camera. Capture: the
// camera's audio is switched on and its PCMU track reaches the host in
// one-second frames over each transport; gaps restart the collection. Output:
// format selection, the reception switch, the chunked upload with numbered
// 80-byte pieces and the session number, retries of a refusing camera and a
// prompt Close. The host sees only the allowed state changes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "audio/AudioCaptureChannel.h"
#include "audio/AudioFormat.h"
#include "audio/AudioOutputChannel.h"
#include "camsim/Camera.h"
#include "camsim/audio/AudioTracks.h"
#include "camsim/rtsp/RtspServer.h"
#include "platform/UdpSocket.h"
#include "streaming/RTPPacket.h"
#include "support/FakeDriver.h"
#include "support/FrameHost.h"
#include "support/HostSlots.h"
#include "support/PluginDriver.h"
#include "support/ScratchDirectory.h"
#include "support/TestData.h"
#include "support/WaitUntil.h"

using namespace korvane;
using namespace korvane::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

constexpr uint32_t kAudioId = 0x105;          // the low byte goes into the frames
constexpr uint32_t kRequestTimeoutMs = 3000;  // C of the device record: above the one-second frame spacing
constexpr uint32_t kDeadlineMs = 15000;       // of the polling waits
constexpr size_t kSecondBytes = 8000;
constexpr size_t kPacketBytes = 160;  // 20 ms per RTP packet of the simulator
const char kSwitchOn[] = "/admin/-set-?em=2&pt=8&hb00=1";
const char kMulticast[] = "<Configuration><StreamingMode>multicast</StreamingMode></Configuration>";

const char kPrepare[] = "/admin/-set-?em=2&pt=8&hb10=1";
const char kUpload[] = "/-wvaudio-01-/recv?t=win-a-100&l=100";

template <typename Condition>
bool WaitFor(Condition condition)
{
    return WaitUntil(condition, kDeadlineMs);
}

// The states the host was told, in order; a state for another audio id than kAudioId shows as 99.
std::vector<uint32_t> StatesOf(const CFrameHost& host)
{
    std::vector<uint32_t> states;
    for (const auto& [id, state] : host.AudioStates())
        states.push_back(id == kAudioId ? state : 99);
    return states;
}

// From each state the ones it may change to.
const std::vector<std::vector<uint32_t>> kInputStateTable = {{1}, {2, 3, 5}, {3, 5}, {0}, {0}, {1, 3}};
const std::vector<std::vector<uint32_t>> kOutputStateTable = {{1}, {2, 3, 4, 5}, {3, 4, 5}, {0, 4}, {0}, {1, 3}};

// True when every change of the host's states is one the table allows, starting from 0.
bool IsAllowedPath(const CFrameHost& host, const std::vector<std::vector<uint32_t>>& allowed)
{
    uint32_t from = 0;
    for (uint32_t to : StatesOf(host)) {
        if (from >= allowed.size() || std::find(allowed[from].begin(), allowed[from].end(), to) == allowed[from].end())
            return false;
        from = to;
    }
    return true;
}

// The real channel with the simulator's RTSP port in place of 554.
class CTestCaptureChannel : public CAudioCaptureChannel {
public:
    CTestCaptureChannel(IDriver* driver, ipcapture::IAudioSink* sink, uint16_t rtspPort)
        : CAudioCaptureChannel(driver, 0, kAudioId, sink, 0), m_rtspPort(rtspPort)
    {
    }
    ~CTestCaptureChannel() override { Stop(); }

    std::string path;  // as the channel chose it
    std::atomic<uint16_t> cameraPort{0};

protected:
    void FillStreamSettings(RTSPClientSettings& settings) override
    {
        CAudioCaptureChannel::FillStreamSettings(settings);
        cameraPort = settings.serverPort;
        path = settings.path;
        settings.serverPort = m_rtspPort;
    }

private:
    uint16_t m_rtspPort;
};

// The formats a host offers to an output channel.
class CFormatList final : public ipcapture::IAudioFormatList {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    struct Entry final : ipcapture::IAudioFormatEntry {
        TALLOWCAM_DELETING_DESTRUCTOR
        Entry(uint32_t fourCC, bool enabled) : fourCC(fourCC), enabled(enabled) {}
        void Reserved1() override { UnassignedSlot("IAudioFormatEntry", 1); }
        uint32_t GetFourCC() override { return fourCC; }
        void Reserved3() override { UnassignedSlot("IAudioFormatEntry", 3); }
        void Reserved4() override { UnassignedSlot("IAudioFormatEntry", 4); }
        bool IsEnabled() override { return enabled; }
        uint32_t fourCC;
        bool enabled;
    };

    CFormatList(std::initializer_list<Entry> entries) : m_entries(entries) {}
    uint32_t GetCount() override { return static_cast<uint32_t>(m_entries.size()); }
    ipcapture::IAudioFormatEntry* GetFormat(uint32_t index) override
    {
        return index < m_entries.size() ? &m_entries[index] : nullptr;
    }

private:
    std::vector<Entry> m_entries;
};

class AudioTest : public ::testing::Test {
protected:
    AudioTest()
    {
        EXPECT_TRUE(camera.Start());
        driver.SetCamera("127.0.0.1", camera.HttpPort());
        driver.allocator = &host;
        driver.hostDirectory = scratch.Path();
        driver.deviceInfo.requestTimeoutMs = kRequestTimeoutMs;
        driver.deviceInfo.secondTimeoutMs = kRequestTimeoutMs;
        rtsp.Options().tracks = camsim::CameraTracks(camsim::MediaCodec::H264, camsim::CameraConfig());
    }

    std::unique_ptr<CTestCaptureChannel> OpenCapture()
    {
        if (!rtsp.Start())
            ADD_FAILURE() << "RTSP server did not start";
        auto channel = std::make_unique<CTestCaptureChannel>(&driver, &host, rtsp.Port());
        EXPECT_TRUE(channel->Open());
        return channel;
    }

    std::unique_ptr<CAudioOutputChannel> OpenOutput()
    {
        auto channel = std::make_unique<CAudioOutputChannel>(&driver, kAudioId, 0, &host, &formats);
        EXPECT_TRUE(channel->Open());
        return channel;
    }

    bool WaitForFrames(size_t count) { return WaitFor([&] { return host.AudioFrames().size() >= count; }); }
    bool WaitForState(uint32_t state) { return WaitFor([&] { return host.LastAudioState() == state; }); }

    size_t CountTargets(const std::string& target)
    {
        const std::vector<std::string> targets = camera.HttpRequests().Targets();
        return static_cast<size_t>(std::count(targets.begin(), targets.end(), target));
    }

    camsim::Camera camera;
    camsim::RtspServer rtsp;
    FakeDriver driver;
    CFrameHost host;
    ScratchDirectory scratch;
    CFormatList formats{{kFourCCMuLaw, true}};
};
using AudioCapture = AudioTest;
using AudioOutput = AudioTest;

std::vector<uint8_t> SampleAudio()
{
    const std::string sample = ReadTestData("media/sample8k.ulaw");
    return std::vector<uint8_t>(sample.begin(), sample.end());
}

// The sample is a 440 Hz tone: it repeats every 200 samples, so where a
// packet-aligned stretch of it starts is known in packets modulo 5.
constexpr int kTonePeriodPackets = 5;

// Where in the looping sample a frame starts, in packets modulo the tone
// period; -1 when the frame is not one unbroken stretch of the sample.
int PhaseOf(const std::vector<uint8_t>& frame, const std::vector<uint8_t>& sample)
{
    const size_t packets = sample.size() / kPacketBytes;
    for (size_t start = 0; start < packets; ++start) {
        bool same = true;
        for (size_t i = 0; same && i < frame.size(); ++i)
            same = frame[i] == sample[(start * kPacketBytes + i) % sample.size()];
        if (same)
            return static_cast<int>(start) % kTonePeriodPackets;
    }
    return -1;
}

// The Tallowcam.xml (empty: none, UDP unicast) and a part of the SETUP request (empty: multicast, its ports).
struct Transport {
    const char *name, *configuration, *setupPart;
};

class AudioCaptureOver : public AudioTest, public ::testing::WithParamInterface<Transport> {};

TEST_P(AudioCaptureOver, OneSecondMuLawFramesReachTheHost)
{
    const Transport& transport = GetParam();
    const std::vector<uint8_t> sample = SampleAudio();
    ASSERT_EQ(sample.size(), 2 * kSecondBytes);
    if (*transport.configuration != '\0')
        scratch.WriteFile("Tallowcam.xml", transport.configuration);
    const bool multicast = *transport.setupPart == '\0';
    std::string setupPart = transport.setupPart;
    if (multicast) {
        platform::UdpSocket probe;
        ASSERT_TRUE(probe.Create() && probe.Bind(0));
        rtsp.Options().multicastGroup = "239.255.43.7";
        rtsp.Options().multicastPort = probe.LocalPort();
        const unsigned audioPort = probe.LocalPort() + 2u;  // the second track's pair
        setupPart = ";multicast;client_port=" + std::to_string(audioPort) + "-" + std::to_string(audioPort + 1);
    }
    auto channel = OpenCapture();
    ASSERT_TRUE(WaitForFrames(3));
    EXPECT_EQ(channel->GetState(), kAudioRunning);

    // The switch, the port and path chosen, and the reading of the audio's multicast group.
    EXPECT_EQ(std::make_tuple(camera.Model().Setting("hb00"), CountTargets(kSwitchOn), channel->cameraPort.load(),
                              channel->path, CountTargets("/admin/-set-?el=ig21")),
              std::make_tuple("1", 1u, 554, multicast ? "stream/profile1=m" : "stream/profile1=u",
                              multicast ? 1u : 0u));
    EXPECT_THAT(RtspRequests(rtsp.Recorder(), "SETUP"), ElementsAre(HasSubstr(setupPart)));

    const std::vector<AudioRecord> frames = host.AudioFrames();
    const int phase = PhaseOf(frames[0].bytes, sample);
    for (size_t i = 0; i < frames.size(); ++i) {
        const AudioRecord& frame = frames[i];
        ASSERT_EQ(frame.bytes.size(), kSecondBytes);
        EXPECT_EQ(std::tie(frame.fourCC, frame.sampleRate, frame.bitsPerSample, frame.stereo, frame.bitRate,
                           frame.channelId),
                  std::make_tuple(kFourCCMuLaw, 8000u, uint8_t{16}, uint8_t{0}, 64000u, kAudioId & 0xFF));
        EXPECT_THAT(frame.calls,
                    ElementsAre("SetFourCC", "SetData", "SetFormat", "SetBitRate", "SetChannelId", "Commit"));
        // Consecutive seconds of the camera's sound, 50 packets apart.
        EXPECT_EQ(PhaseOf(frame.bytes, sample), phase) << "frame " << i;
    }
    EXPECT_NE(phase, -1);
    EXPECT_EQ(host.LastAudioDriverName(), "Tallowcam");
    EXPECT_EQ(driver.CountLinesContaining("Audio signal from camera 127.0.0.1 is OK"), 1u);

    EXPECT_TRUE(channel->Close());
    EXPECT_EQ(std::make_tuple(channel->GetState(), StatesOf(host), host.OutstandingAudioFrames(),
                              RtspRequests(rtsp.Recorder(), "TEARDOWN").size()),
              std::make_tuple(kAudioStopped, std::vector<uint32_t>{1, 2, 3, 0}, 0u, 1u));
    EXPECT_TRUE(driver.HasLineContaining(
        "korvane::CBaseAudioRTSPChannel::SetDeviceState: Audio channel was stopped for camera 127.0.0.1"));
}

INSTANTIATE_TEST_SUITE_P(
    Transports, AudioCaptureOver,
    ::testing::Values(Transport{"Udp", "", "/stream/trackID=2 RTSP/1.0"},
                      Transport{"Interleaved",
                                "<Configuration><Default><RTPMode>RTPoverRTSP</RTPMode></Default></Configuration>",
                                "interleaved=0-1"},
                      Transport{"Multicast", kMulticast, ""}),
    [](const ::testing::TestParamInfo<Transport>& info) { return std::string(info.param.name); });

// Every 58th packet goes missing, and later the camera stops sending for a while.
TEST_F(AudioCapture, AGapRestartsTheCollectionAndALostSignalIsReportedOnceAndRestartsTheSession)
{
    const std::vector<uint8_t> sample = SampleAudio();
    rtsp.Faults().dropEvery = 58;  // 57 packets, a gap, 57 packets, ...
    auto channel = OpenCapture();
    ASSERT_TRUE(WaitForFrames(3));
    // Each frame is 50 unbroken packets; the next one starts right after the gap, 58 packets later.
    const std::vector<AudioRecord> frames = host.AudioFrames();
    const int first = PhaseOf(frames[0].bytes, sample);
    ASSERT_NE(first, -1);
    for (size_t i = 1; i < frames.size(); ++i)
        EXPECT_EQ(PhaseOf(frames[i].bytes, sample), (first + 58 * static_cast<int>(i)) % kTonePeriodPackets) << i;

    rtsp.Faults().stopSending = true;
    ASSERT_TRUE(WaitFor([&] { return driver.HasLineContaining("Audio signal was lost for camera 127.0.0.1"); }));
    ASSERT_TRUE(WaitFor([&] { return RtspRequests(rtsp.Recorder(), "SETUP").size() >= 2; }));
    const size_t before = host.AudioFrames().size();
    rtsp.Faults().stopSending = false;
    ASSERT_TRUE(WaitFor([&] { return host.AudioFrames().size() > before && channel->GetState() == kAudioRunning; }));
    channel->Close();
    EXPECT_EQ(driver.CountLinesContaining("Audio signal was lost for camera 127.0.0.1"), 1u);
    EXPECT_EQ(driver.CountLinesContaining("Audio signal from camera 127.0.0.1 is OK"), 2u);
    EXPECT_TRUE(IsAllowedPath(host, kInputStateTable));
    const std::vector<uint32_t> states = StatesOf(host);
    EXPECT_NE(std::find(states.begin(), states.end(), 5u), states.end());
    EXPECT_EQ(states.back(), 0u);
}

// The camera refuses to switch its audio on, or has no multicast group for it:
// the channel reports the signal lost and tries again, without a session.
TEST_F(AudioCapture, ACameraRefusingAudioOrWithoutAMulticastGroupIsRetriedWithoutASession)
{
    camera.Audio().RefuseSwitch("hb00", true);
    auto refused = OpenCapture();
    ASSERT_TRUE(WaitFor([&] { return CountTargets(kSwitchOn) >= 2; }));
    EXPECT_TRUE(WaitFor([&] { return refused->GetState() == kAudioSignalLost; }));
    camera.Audio().RefuseSwitch("hb00", false);
    ASSERT_TRUE(WaitForFrames(1));
    refused->Close();
    EXPECT_TRUE(IsAllowedPath(host, kInputStateTable));
    const std::vector<uint32_t> states = StatesOf(host);
    ASSERT_GE(states.size(), 4u);
    EXPECT_EQ(std::vector<uint32_t>(states.begin(), states.begin() + 3), (std::vector<uint32_t>{1, 5, 1}));

    camera.Model().SetSetting("ig21", "0.0.0.0");
    scratch.WriteFile("Tallowcam.xml", kMulticast);
    camera.HttpRequests().Clear();
    auto channel = std::make_unique<CTestCaptureChannel>(&driver, &host, rtsp.Port());
    ASSERT_TRUE(channel->Open());
    ASSERT_TRUE(WaitFor([&] { return CountTargets("/admin/-set-?el=ig21") >= 2; }));
    EXPECT_TRUE(driver.HasLineContaining(
        "korvane::CAudioCaptureChannel::SetAudioStreamParameters: Multicast address for audio is not set, please set "
        "correct value! Device 127.0.0.1:"));
    EXPECT_TRUE(WaitFor([&] { return channel->GetState() == kAudioSignalLost; }));
    EXPECT_EQ(CountTargets(kSwitchOn), 0u);
    channel->Close();
    EXPECT_TRUE(IsAllowedPath(host, kInputStateTable));
    EXPECT_EQ(channel->GetState(), kAudioStopped);
}

// Payload collection on its own: sequence wrap, one-byte payloads, a refusing host.
class AudioParser : public ::testing::Test, public IAudioParserClient {
protected:
    AudioParser() : parser(&driver, kAudioId)
    {
        driver.allocator = &host;
        parser.SetFormat(AudioFormat::MuLaw8k());
        parser.SetClient(this);
    }

    bool OnAudioFrame(ipcapture::IAudioData* frame) override { return host.OnAudioFrame(frame); }

    void Feed(uint16_t sequence, size_t size, uint8_t value)
    {
        CRTPPacket packet;
        packet.m_sequenceNumber = sequence;
        const std::vector<uint8_t> payload(size, value);
        packet.SetPayload(payload.data(), payload.size());
        parser.CollectPacket(packet);
    }

    FakeDriver driver;
    CFrameHost host;
    CBaseRTPAudioParser parser;
};

TEST_F(AudioParser, SequenceWrapsOneBytePayloadsAndARefusedFrame)
{
    for (uint16_t i = 0; i < 25; ++i) {
        Feed(static_cast<uint16_t>(65530 + 2 * i), 160, 1);  // even numbers of the pair
        Feed(static_cast<uint16_t>(65531 + 2 * i), 1, 9);    // one byte: ignored, sequence still counted
    }
    EXPECT_EQ(host.AudioFrames().size(), 0u);  // 25 packets of 160
    for (uint16_t i = 0; i < 25; ++i)
        Feed(static_cast<uint16_t>(65530 + 50 + i), 160, 2);
    ASSERT_EQ(host.AudioFrames().size(), 1u);
    const std::vector<uint8_t> bytes = host.AudioFrames()[0].bytes;
    ASSERT_EQ(bytes.size(), kSecondBytes);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 9), 0);

    // A refused frame is logged and the next second starts afresh.
    host.SetAcceptFrames(false);
    for (uint16_t i = 0; i < 50; ++i)
        Feed(i, 160, 1);
    EXPECT_TRUE(driver.HasLineContaining(
        "korvane::CBaseRTPAudioParser::ProcessAudioFrame: Audio-frame processing error, camera "));
    host.SetAcceptFrames(true);
    for (uint16_t i = 70; i < 120; ++i)  // a jump is fine after the reset
        Feed(i, 160, 2);
    ASSERT_EQ(host.AudioFrames().size(), 2u);
    EXPECT_EQ(host.AudioFrames()[1].bytes, std::vector<uint8_t>(kSecondBytes, 2));
    EXPECT_EQ(std::make_tuple(host.OutstandingAudioFrames(), host.AudioReleases()), std::make_tuple(0u, 3u));
}

std::vector<uint8_t> Sound(size_t size, uint8_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
}

class CFormat final : public ipcapture::IAudioFormat {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    void SetFourCC(uint32_t value) override { fourCC = value; }
    void SetSampleRate(uint32_t value) override { sampleRate = value; }
    void SetBitRate(uint32_t value) override { bitRate = value; }
    void Reserved4() override { UnassignedSlot("IAudioFormat", 4); }
    void SetStereo(uint8_t value) override { stereo = value; }
    uint32_t fourCC = 0, sampleRate = 0, bitRate = 0;
    uint8_t stereo = 9;
};

TEST_F(AudioOutput, PacketsArriveByteExactInNumberedPiecesWithTheSessionEchoedOnceAndNothingGoesWithoutMuLaw)
{
    auto channel = OpenOutput();
    CFormat format;
    ASSERT_TRUE(channel->GetAudioFormat(&format));
    EXPECT_EQ(std::tie(format.fourCC, format.sampleRate, format.bitRate, format.stereo),
              std::make_tuple(0x4D313137u, 8000u, 64000u, uint8_t{0}));
    ASSERT_TRUE(WaitForState(kOutputReady));
    EXPECT_EQ(camera.Model().Setting("hb10"), "1");

    const std::vector<std::vector<uint8_t>> packets = {Sound(160, 1), Sound(800, 2), Sound(203, 3), Sound(5, 4)};
    for (const auto& bytes : packets)
        ASSERT_TRUE(channel->SendAudio(host.MakeAudioPacket(bytes)));
    ASSERT_TRUE(camera.Audio().WaitForUploads(packets.size(), kDeadlineMs));
    ASSERT_TRUE(WaitFor([&] { return host.OutstandingAudioFrames() == 0; }));

    const std::vector<camsim::AudioUpload> uploads = camera.Audio().Uploads();
    ASSERT_EQ(uploads.size(), packets.size());
    for (size_t i = 0; i < uploads.size(); ++i) {
        SCOPED_TRACE(i);
        const camsim::AudioUpload& u = uploads[i];
        std::vector<uint32_t> pieces((packets[i].size() + 79) / 80);
        std::iota(pieces.begin(), pieces.end(), 10u);
        // Each post sends back the number of the reply before it, once.
        const uint32_t echoed = i == 0 ? 0 : uploads[i - 1].issuedSession;
        const std::string target = echoed == 0 ? std::string(kUpload) : kUpload + ("&i=" + std::to_string(echoed));
        EXPECT_EQ(std::tie(u.error, u.receptionOn, u.audio, u.pieceNumbers, u.echoedSession, u.target),
                  std::make_tuple("", true, packets[i], pieces, echoed, target));
    }

    const auto requests = camera.HttpRequests().All();
    const camsim::RecordedRequest& first = requests[1];
    // 160 bytes: two full pieces and the closing chunk.
    EXPECT_EQ(std::make_tuple(first.method, first.Header("Content-Type"), first.body.size()),
              std::make_tuple("POST", "application/x-wva-100", 2u * (4 + 6 + 80 + 2) + 5));
    EXPECT_EQ(requests[3].body.substr(requests[3].body.size() - 5 - 2 - 43 - 6 - 4, 4), "31\r\n");  // 6 + 43 bytes

    EXPECT_TRUE(channel->Close());
    EXPECT_EQ(StatesOf(host), (std::vector<uint32_t>{1, 2, 3, 0}));

    // Without an enabled mu-law format nothing is sent.
    formats = CFormatList{{kFourCCMuLaw, false}, {0x31323334, true}};
    camera.HttpRequests().Clear();
    auto unfit = OpenOutput();
    ASSERT_TRUE(WaitForState(kOutputError));
    ASSERT_TRUE(unfit->SendAudio(host.MakeAudioPacket(Sound(80, 1))));
    ASSERT_TRUE(WaitFor([&] { return host.OutstandingAudioFrames() == 0; }));  // dropped and given back
    EXPECT_TRUE(unfit->Close());
    EXPECT_EQ(StatesOf(host), (std::vector<uint32_t>{1, 2, 3, 0, 1, 4, 0}));
    EXPECT_EQ(camera.HttpRequests().Count(), 0u);
}

// A failing post uses up the session number: the post after the recovery goes
// without one. A post the camera never answers ends promptly on Close.
TEST_F(AudioOutput, APostAfterARecoveryGoesWithoutSessionNumberAndCloseEndsAHeldPost)
{
    driver.deviceInfo.requestTimeoutMs = 10000;  // the held post would otherwise run into it
    auto channel = OpenOutput();
    ASSERT_TRUE(WaitForState(kOutputReady));
    ASSERT_TRUE(channel->SendAudio(host.MakeAudioPacket(Sound(80, 1))));
    ASSERT_TRUE(camera.Audio().WaitForUploads(1, kDeadlineMs));
    ASSERT_TRUE(WaitFor([&] { return host.OutstandingAudioFrames() == 0; }));
    camera.Http().SetFault(camsim::HttpFault::ServerError);
    ASSERT_TRUE(channel->SendAudio(host.MakeAudioPacket(Sound(80, 2))));
    ASSERT_TRUE(WaitForState(kOutputRetrying));
    camera.Http().SetFault(camsim::HttpFault::None);
    ASSERT_TRUE(WaitForState(kOutputReady));
    ASSERT_TRUE(channel->SendAudio(host.MakeAudioPacket(Sound(80, 3))));
    ASSERT_TRUE(camera.Audio().WaitForUploads(2, kDeadlineMs));
    const auto uploads = camera.Audio().Uploads();
    EXPECT_EQ(std::tie(uploads[1].target, uploads[1].audio), std::make_tuple(kUpload, Sound(80, 3)));

    camera.Http().SetFault(camsim::HttpFault::NeverReply);
    const size_t requests = camera.HttpRequests().Count();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(channel->SendAudio(host.MakeAudioPacket(Sound(800, 1))));
    ASSERT_TRUE(camera.HttpRequests().WaitForCount(requests + 1, kDeadlineMs));  // the post is held
    EXPECT_LT(TimedMs([&] { EXPECT_TRUE(channel->Close()); }), 5000u);
    EXPECT_EQ(std::make_tuple(channel->GetState(), host.OutstandingAudioFrames()), std::make_tuple(kOutputClosed, 0u));
    EXPECT_FALSE(driver.HasLineContaining("was not stopped"));
    EXPECT_TRUE(IsAllowedPath(host, kOutputStateTable));
    camera.Http().SetFault(camsim::HttpFault::None);
}

// Empty, stereo and other-rate packets are refused and stay with the host, as
// does everything sent after Close.
TEST_F(AudioOutput, ARefusingCameraIsRetriedEveryOneAndAHalfSecondsAndUnfitPacketsStayWithTheHost)
{
    camera.Audio().RefuseSwitch("hb10", true);
    auto channel = OpenOutput();
    ASSERT_TRUE(WaitFor([&] { return CountTargets(kPrepare) >= 1; }));
    const auto firstRefusal = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return CountTargets(kPrepare) >= 3; }));
    const auto elapsed = std::chrono::steady_clock::now() - firstRefusal;
    ASSERT_TRUE(WaitForState(kOutputRetrying));
    camera.Audio().RefuseSwitch("hb10", false);
    ASSERT_TRUE(WaitForState(kOutputReady));
    EXPECT_GE(elapsed, std::chrono::milliseconds(2 * CBaseAudioOutputChannel::kRetryWaitMs - 100));

    CRecordingAudioData* stereo = host.MakeAudioPacket(Sound(80, 1));
    stereo->SetFormat(8000, 16, 1);
    CRecordingAudioData* otherRate = host.MakeAudioPacket(Sound(80, 1));
    otherRate->SetBitRate(32000);
    for (CRecordingAudioData* unfit : {host.MakeAudioPacket({}), stereo, otherRate})
        EXPECT_FALSE(channel->SendAudio(unfit));
    EXPECT_EQ(std::make_tuple(host.OutstandingAudioFrames(), host.AudioReleases()), std::make_tuple(3u, 0u));
    channel->Close();
    EXPECT_FALSE(channel->SendAudio(host.MakeAudioPacket(Sound(80, 1))));
    EXPECT_TRUE(camera.Audio().Uploads().empty());

    EXPECT_TRUE(IsAllowedPath(host, kOutputStateTable));
    const std::vector<uint32_t> states = StatesOf(host);
    ASSERT_GE(states.size(), 4u);
    EXPECT_EQ(std::vector<uint32_t>(states.begin(), states.begin() + 4), (std::vector<uint32_t>{1, 5, 1, 5}));
}

}  // namespace
