// Audio capture end to end against the simulated camera: the camera's audio
// is switched on, its PCMU track reaches the host in one-second frames, gaps
// restart the collection, and the host sees only the allowed state changes.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "AudioTestSupport.h"
#include "audio/AudioCaptureChannel.h"
#include "audio/AudioFormat.h"
#include "platform/UdpSocket.h"
#include "streaming/RTPPacket.h"

using namespace korvane;
using namespace korvane::test;

namespace {

constexpr size_t kSecondBytes = 8000;
constexpr size_t kPacketBytes = 160;  // 20 ms per RTP packet of the simulator

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

std::vector<uint8_t> SampleAudio()
{
    std::ifstream file(std::string(TALLOWCAM_TEST_DATA_DIR) + "/media/sample8k.ulaw", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
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

class AudioCapture : public AudioTest {
protected:
    std::unique_ptr<CTestCaptureChannel> OpenChannel()
    {
        if (!rtsp.Start())
            ADD_FAILURE() << "RTSP server did not start";
        auto channel = std::make_unique<CTestCaptureChannel>(&driver, &host, rtsp.Port());
        EXPECT_TRUE(channel->Open());
        return channel;
    }

    bool WaitForFrames(size_t count) { return WaitFor([&] { return host.AudioFrameCount() >= count; }); }
};

TEST_F(AudioCapture, OneSecondMuLawFramesReachTheHost)
{
    const std::vector<uint8_t> sample = SampleAudio();
    ASSERT_EQ(sample.size(), 2 * kSecondBytes);
    auto channel = OpenChannel();
    ASSERT_TRUE(WaitForFrames(3));
    EXPECT_EQ(channel->GetState(), kAudioRunning);

    EXPECT_EQ(camera.Model().Setting("hb00"), "1");
    EXPECT_EQ(CountTargets("/admin/-set-?em=2&pt=8&hb00=1"), 1u);
    EXPECT_EQ(channel->cameraPort, 554);
    EXPECT_EQ(channel->path, "stream/profile1=u");
    const std::vector<std::string> setups = RtspRequests("SETUP");
    ASSERT_EQ(setups.size(), 1u);
    EXPECT_NE(setups[0].find("/stream/trackID=2 RTSP/1.0"), std::string::npos) << setups[0];

    const std::vector<AudioRecord> frames = host.AudioFrames();
    const int phase = PhaseOf(frames[0].bytes, sample);
    for (size_t i = 0; i < frames.size(); ++i) {
        const AudioRecord& frame = frames[i];
        ASSERT_EQ(frame.bytes.size(), kSecondBytes);
        EXPECT_EQ(frame.fourCC, kFourCCMuLaw);
        EXPECT_EQ(frame.sampleRate, 8000u);
        EXPECT_EQ(frame.bitsPerSample, 16);
        EXPECT_EQ(frame.stereo, 0);
        EXPECT_EQ(frame.bitRate, 64000u);
        EXPECT_EQ(frame.channelId, kAudioId & 0xFF);
        EXPECT_EQ(frame.calls, (std::vector<std::string>{"SetFourCC", "SetData", "SetFormat", "SetBitRate",
                                                         "SetChannelId", "Commit"}));
        // Consecutive seconds of the camera's sound, 50 packets apart.
        EXPECT_EQ(PhaseOf(frame.bytes, sample), phase) << "frame " << i;
    }
    EXPECT_NE(phase, -1);
    EXPECT_EQ(host.LastAudioDriverName(), "Tallowcam");
    EXPECT_EQ(driver.CountLinesContaining("Audio signal from camera 127.0.0.1 is OK"), 1u);

    EXPECT_TRUE(channel->Close());
    EXPECT_EQ(channel->GetState(), kAudioStopped);
    EXPECT_EQ(host.AudioStates(), (std::vector<std::pair<uint32_t, uint32_t>>{
                                 {kAudioId, 1}, {kAudioId, 2}, {kAudioId, 3}, {kAudioId, 0}}));
    EXPECT_TRUE(driver.HasLineContaining(
        "korvane::CBaseAudioRTSPChannel::SetDeviceState: Audio channel was stopped for camera 127.0.0.1"));
    EXPECT_EQ(host.OutstandingAudioFrames(), 0u);
    EXPECT_EQ(RtspRequests("TEARDOWN").size(), 1u);
}

TEST_F(AudioCapture, AGapDropsThePartOfTheSecondAndCollectionRestartsAfterIt)
{
    const std::vector<uint8_t> sample = SampleAudio();
    rtsp.Faults().dropEvery = 58;  // 57 packets, a gap, 57 packets, ...
    auto channel = OpenChannel();
    ASSERT_TRUE(WaitForFrames(3));
    channel->Close();

    // Each frame is 50 unbroken packets; the next one starts right after the gap, 58 packets later.
    const std::vector<AudioRecord> frames = host.AudioFrames();
    const int first = PhaseOf(frames[0].bytes, sample);
    ASSERT_NE(first, -1);
    for (size_t i = 1; i < frames.size(); ++i)
        EXPECT_EQ(PhaseOf(frames[i].bytes, sample), (first + 58 * static_cast<int>(i)) % kTonePeriodPackets) << i;
}

TEST_F(AudioCapture, LostSignalIsReportedOnceAndTheSessionRestarts)
{
    auto channel = OpenChannel();
    ASSERT_TRUE(WaitForFrames(1));
    rtsp.Faults().stopSending = true;
    ASSERT_TRUE(WaitFor([&] { return driver.HasLineContaining("Audio signal was lost for camera 127.0.0.1"); }));
    ASSERT_TRUE(WaitFor([&] { return RtspRequests("SETUP").size() >= 2; }));
    const size_t before = host.AudioFrameCount();
    rtsp.Faults().stopSending = false;
    ASSERT_TRUE(WaitFor([&] { return host.AudioFrameCount() > before && channel->GetState() == kAudioRunning; }));
    channel->Close();

    EXPECT_EQ(driver.CountLinesContaining("Audio signal was lost for camera 127.0.0.1"), 1u);
    EXPECT_EQ(driver.CountLinesContaining("Audio signal from camera 127.0.0.1 is OK"), 2u);
    EXPECT_TRUE(IsAllowedPath(host.AudioStates(), InputStateTable()));
    const auto states = host.AudioStates();
    EXPECT_NE(std::find(states.begin(), states.end(), std::make_pair(kAudioId, 5u)), states.end());
    EXPECT_EQ(states.back().second, 0u);
}

TEST_F(AudioCapture, ACameraRefusingAudioIsRetriedWithoutASession)
{
    camera.Audio().RefuseSwitch("hb00", true);
    auto channel = OpenChannel();
    ASSERT_TRUE(WaitFor([&] { return CountTargets("/admin/-set-?em=2&pt=8&hb00=1") >= 2; }));
    EXPECT_TRUE(WaitFor([&] { return channel->GetState() == kAudioSignalLost; }));
    camera.Audio().RefuseSwitch("hb00", false);
    ASSERT_TRUE(WaitForFrames(1));
    channel->Close();

    EXPECT_TRUE(IsAllowedPath(host.AudioStates(), InputStateTable()));
    const auto states = host.AudioStates();
    ASSERT_GE(states.size(), 4u);
    EXPECT_EQ(states[0].second, 1u);
    EXPECT_EQ(states[1].second, 5u);
    EXPECT_EQ(states[2].second, 1u);
}

TEST_F(AudioCapture, InterleavedAudioReachesTheHost)
{
    scratch.WriteFile("Tallowcam.xml", "<Configuration><Default><RTPMode>RTPoverRTSP</RTPMode></Default></Configuration>");
    auto channel = OpenChannel();
    ASSERT_TRUE(WaitForFrames(2));
    channel->Close();
    const std::vector<std::string> setups = RtspRequests("SETUP");
    ASSERT_FALSE(setups.empty());
    EXPECT_NE(setups[0].find("interleaved=0-1"), std::string::npos);
    EXPECT_EQ(host.AudioFrames()[1].bytes.size(), kSecondBytes);
}

TEST_F(AudioCapture, MulticastAudioReachesTheHost)
{
    platform::UdpSocket probe;
    ASSERT_TRUE(probe.Create() && probe.Bind(0));
    rtsp.Options().multicastGroup = "239.255.43.7";
    rtsp.Options().multicastPort = probe.LocalPort();
    probe.Close();
    scratch.WriteFile("Tallowcam.xml", "<Configuration><StreamingMode>multicast</StreamingMode></Configuration>");
    auto channel = OpenChannel();
    ASSERT_TRUE(WaitForFrames(2));
    EXPECT_EQ(channel->path, "stream/profile1=m");
    const std::vector<std::string> setups = RtspRequests("SETUP");
    ASSERT_EQ(setups.size(), 1u);
    const unsigned audioPort = rtsp.Options().multicastPort + 2u;  // the second track's pair
    EXPECT_NE(setups[0].find(";multicast;client_port=" + std::to_string(audioPort) + "-" +
                             std::to_string(audioPort + 1)),
              std::string::npos)
        << setups[0];
    EXPECT_EQ(CountTargets("/admin/-set-?el=ig21"), 1u);
    channel->Close();
    EXPECT_EQ(host.AudioStates(), (std::vector<std::pair<uint32_t, uint32_t>>{
                                 {kAudioId, 1}, {kAudioId, 2}, {kAudioId, 3}, {kAudioId, 0}}));
}

TEST_F(AudioCapture, MulticastWithoutAnAudioGroupIsLoggedAndRetried)
{
    camera.Model().SetSetting("ig21", "0.0.0.0");
    scratch.WriteFile("Tallowcam.xml", "<Configuration><StreamingMode>multicast</StreamingMode></Configuration>");
    auto channel = OpenChannel();
    const char* line =
        "korvane::CAudioCaptureChannel::SetAudioStreamParameters: Multicast address for audio is not set, please set "
        "correct value! Device 127.0.0.1:";
    ASSERT_TRUE(WaitFor([&] { return CountTargets("/admin/-set-?el=ig21") >= 2; }));
    EXPECT_TRUE(driver.HasLineContaining(line));
    EXPECT_TRUE(WaitFor([&] { return channel->GetState() == kAudioSignalLost; }));
    EXPECT_EQ(CountTargets("/admin/-set-?em=2&pt=8&hb00=1"), 0u);
    channel->Close();
    EXPECT_TRUE(IsAllowedPath(host.AudioStates(), InputStateTable()));
    EXPECT_EQ(channel->GetState(), kAudioStopped);
}

// Payload collection on its own: sequence wrap, one-byte payloads, a refusing host.
class AudioParser : public ::testing::Test {
protected:
    AudioParser() : parser(&driver, kAudioId)
    {
        driver.allocator = &host;
        parser.SetFormat(AudioFormat::MuLaw8k());
        parser.SetClient(&client);
    }

    void Feed(uint16_t sequence, size_t size, uint8_t value)
    {
        CRTPPacket packet;
        packet.m_sequenceNumber = sequence;
        packet.m_payload.assign(size, value);
        parser.CollectPacket(packet);
    }

    class CClient : public IAudioParserClient {
    public:
        explicit CClient(CFrameHost& host) : m_host(host) {}
        bool OnAudioFrame(ipcapture::IAudioData* frame) override { return m_host.OnAudioFrame(frame); }

    private:
        CFrameHost& m_host;
    };

    FakeDriver driver;
    CFrameHost host;
    CClient client{host};
    CBaseRTPAudioParser parser;
};

TEST_F(AudioParser, SequenceWrapsAndOneBytePayloadsAreIgnored)
{
    for (uint16_t i = 0; i < 25; ++i) {
        Feed(static_cast<uint16_t>(65530 + 2 * i), 160, 1);  // even numbers of the pair
        Feed(static_cast<uint16_t>(65531 + 2 * i), 1, 9);    // one byte: ignored, sequence still counted
    }
    EXPECT_EQ(host.AudioFrameCount(), 0u);  // 25 packets of 160
    for (uint16_t i = 0; i < 25; ++i)
        Feed(static_cast<uint16_t>(65530 + 50 + i), 160, 2);
    ASSERT_EQ(host.AudioFrameCount(), 1u);
    const std::vector<uint8_t> bytes = host.AudioFrames()[0].bytes;
    ASSERT_EQ(bytes.size(), kSecondBytes);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 9), 0);
    EXPECT_EQ(host.OutstandingAudioFrames(), 0u);
}

TEST_F(AudioParser, ARefusedFrameIsLoggedAndTheNextSecondStartsAfresh)
{
    host.SetAcceptFrames(false);
    for (uint16_t i = 0; i < 50; ++i)
        Feed(i, 160, 1);
    EXPECT_TRUE(driver.HasLineContaining(
        "korvane::CBaseRTPAudioParser::ProcessAudioFrame: Audio-frame processing error, camera "));
    host.SetAcceptFrames(true);
    for (uint16_t i = 70; i < 120; ++i)  // a jump is fine after the reset
        Feed(i, 160, 2);
    ASSERT_EQ(host.AudioFrameCount(), 1u);
    EXPECT_EQ(host.AudioFrames()[0].bytes, std::vector<uint8_t>(kSecondBytes, 2));
    EXPECT_EQ(host.OutstandingAudioFrames(), 0u);
    EXPECT_EQ(host.AudioReleases(), 2u);
}

}  // namespace
