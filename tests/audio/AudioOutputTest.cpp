// Audio output end to end against the simulated camera: format selection,
// the reception switch, the chunked upload with numbered 80-byte pieces and
// the session number, retries of a refusing camera and a prompt Close.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "AudioTestSupport.h"
#include "audio/AudioFormat.h"
#include "audio/AudioOutputChannel.h"

using namespace korvane;
using namespace korvane::test;

namespace {

const char kPrepare[] = "/admin/-set-?em=2&pt=8&hb10=1";
const char kUpload[] = "/-wvaudio-01-/recv?t=win-a-100&l=100";

std::vector<uint8_t> Sound(size_t size, uint8_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
}

class AudioOutput : public AudioTest {
protected:
    AudioOutput() { formats.Add(kFourCCMuLaw, true); }

    std::unique_ptr<CAudioOutputChannel> OpenChannel()
    {
        auto channel = std::make_unique<CAudioOutputChannel>(&driver, kAudioId, 0, &host, &formats);
        EXPECT_TRUE(channel->Open());
        return channel;
    }

    bool WaitForState(uint32_t state) { return WaitFor([&] { return host.LastAudioState() == state; }); }

    CFormatList formats;
};

TEST_F(AudioOutput, PacketsArriveByteExactInNumberedPiecesAndTheSessionIsEchoedOnce)
{
    auto channel = OpenChannel();
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
        const camsim::AudioUpload& upload = uploads[i];
        EXPECT_EQ(upload.error, "") << "upload " << i;
        EXPECT_TRUE(upload.receptionOn);
        EXPECT_EQ(upload.audio, packets[i]) << "upload " << i;
        const size_t pieces = (packets[i].size() + 79) / 80;
        ASSERT_EQ(upload.pieceNumbers.size(), pieces);
        for (size_t piece = 0; piece < pieces; ++piece)
            EXPECT_EQ(upload.pieceNumbers[piece], 10 + piece);
        // Each post sends back the number of the reply before it, once.
        const uint32_t echoed = i == 0 ? 0 : uploads[i - 1].issuedSession;
        EXPECT_EQ(upload.echoedSession, echoed);
        EXPECT_EQ(upload.target, echoed == 0 ? std::string(kUpload) : kUpload + ("&i=" + std::to_string(echoed)));
    }

    const auto requests = camera.HttpRequests().All();
    const camsim::RecordedRequest& first = requests[1];
    EXPECT_EQ(first.method, "POST");
    EXPECT_EQ(first.Header("Content-Type"), "application/x-wva-100");
    EXPECT_EQ(first.body.size(), 2u * (4 + 6 + 80 + 2) + 5);  // 160 bytes: two full pieces and the closing chunk
    EXPECT_EQ(requests[3].body.substr(requests[3].body.size() - 5 - 2 - 43 - 6 - 4, 4), "31\r\n");  // 6 + 43 bytes

    EXPECT_TRUE(channel->Close());
    EXPECT_EQ(host.AudioStates(), (std::vector<std::pair<uint32_t, uint32_t>>{
                                 {kAudioId, 1}, {kAudioId, 2}, {kAudioId, 3}, {kAudioId, 0}}));
}

TEST_F(AudioOutput, AReplyWithoutSessionNumberLeavesTheNextPostWithoutOne)
{
    auto channel = OpenChannel();
    ASSERT_TRUE(WaitForState(kOutputReady));
    ASSERT_TRUE(channel->SendAudio(host.MakeAudioPacket(Sound(80, 1))));
    ASSERT_TRUE(camera.Audio().WaitForUploads(1, kDeadlineMs));
    ASSERT_TRUE(WaitFor([&] { return host.OutstandingAudioFrames() == 0; }));
    // The failing post used up the number; the post after the recovery goes without one.
    camera.Http().SetFault(camsim::HttpFault::ServerError);
    ASSERT_TRUE(channel->SendAudio(host.MakeAudioPacket(Sound(80, 2))));
    ASSERT_TRUE(WaitForState(kOutputRetrying));
    camera.Http().SetFault(camsim::HttpFault::None);
    ASSERT_TRUE(WaitForState(kOutputReady));
    ASSERT_TRUE(channel->SendAudio(host.MakeAudioPacket(Sound(80, 3))));
    ASSERT_TRUE(camera.Audio().WaitForUploads(2, kDeadlineMs));
    channel->Close();
    const auto uploads = camera.Audio().Uploads();
    EXPECT_EQ(uploads[1].target, kUpload);
    EXPECT_EQ(uploads[1].audio, Sound(80, 3));
    EXPECT_TRUE(IsAllowedPath(host.AudioStates(), OutputStateTable()));
}

TEST_F(AudioOutput, ACameraRefusingReceptionIsRetriedEveryOneAndAHalfSeconds)
{
    camera.Audio().RefuseSwitch("hb10", true);
    auto channel = OpenChannel();
    ASSERT_TRUE(WaitFor([&] { return CountTargets(kPrepare) >= 1; }));
    const auto firstRefusal = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return CountTargets(kPrepare) >= 3; }));
    const auto elapsed = std::chrono::steady_clock::now() - firstRefusal;
    ASSERT_TRUE(WaitForState(kOutputRetrying));
    camera.Audio().RefuseSwitch("hb10", false);
    ASSERT_TRUE(WaitForState(kOutputReady));
    channel->Close();

    EXPECT_GE(elapsed, std::chrono::milliseconds(2 * CBaseAudioOutputChannel::kRetryWaitMs - 100));
    EXPECT_TRUE(IsAllowedPath(host.AudioStates(), OutputStateTable()));
    const auto states = host.AudioStates();
    ASSERT_GE(states.size(), 4u);
    EXPECT_EQ(states[0].second, 1u);
    EXPECT_EQ(states[1].second, 5u);
    EXPECT_EQ(states[2].second, 1u);
    EXPECT_EQ(states[3].second, 5u);
    EXPECT_TRUE(camera.Audio().Uploads().empty());
}

TEST_F(AudioOutput, WithoutAnEnabledMuLawFormatNothingIsSent)
{
    CFormatList other;
    other.Add(kFourCCMuLaw, false);
    other.Add(0x31323334, true);
    auto channel = std::make_unique<CAudioOutputChannel>(&driver, kAudioId, 0, &host, &other);
    ASSERT_TRUE(channel->Open());
    ASSERT_TRUE(WaitForState(kOutputError));
    ASSERT_TRUE(channel->SendAudio(host.MakeAudioPacket(Sound(80, 1))));
    ASSERT_TRUE(WaitFor([&] { return host.OutstandingAudioFrames() == 0; }));  // dropped and given back
    EXPECT_TRUE(channel->Close());
    EXPECT_EQ(host.AudioStates(), (std::vector<std::pair<uint32_t, uint32_t>>{{kAudioId, 1}, {kAudioId, 4}, {kAudioId, 0}}));
    EXPECT_EQ(camera.HttpRequests().Count(), 0u);
}

TEST_F(AudioOutput, PacketsTheChannelCannotTakeStayWithTheHost)
{
    auto channel = OpenChannel();
    ASSERT_TRUE(WaitForState(kOutputReady));
    EXPECT_FALSE(channel->SendAudio(host.MakeAudioPacket({})));
    CRecordingAudioData* stereo = host.MakeAudioPacket(Sound(80, 1));
    stereo->SetFormat(8000, 16, 1);
    EXPECT_FALSE(channel->SendAudio(stereo));
    CRecordingAudioData* otherRate = host.MakeAudioPacket(Sound(80, 1));
    otherRate->SetBitRate(32000);
    EXPECT_FALSE(channel->SendAudio(otherRate));
    EXPECT_EQ(host.OutstandingAudioFrames(), 3u);
    EXPECT_EQ(host.AudioReleases(), 0u);
    channel->Close();
    EXPECT_FALSE(channel->SendAudio(host.MakeAudioPacket(Sound(80, 1))));
    EXPECT_TRUE(camera.Audio().Uploads().empty());
}

TEST_F(AudioOutput, CloseDuringAPostEndsPromptlyAndGivesEveryPacketBack)
{
    driver.deviceInfo.requestTimeoutMs = 10000;  // the held post would otherwise run into it
    auto channel = OpenChannel();
    ASSERT_TRUE(WaitForState(kOutputReady));
    camera.Http().SetFault(camsim::HttpFault::NeverReply);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(channel->SendAudio(host.MakeAudioPacket(Sound(800, 1))));
    ASSERT_TRUE(camera.HttpRequests().WaitForCount(2, kDeadlineMs));  // the post is held

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(channel->Close());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5000));
    EXPECT_EQ(channel->GetState(), kOutputClosed);
    EXPECT_EQ(host.OutstandingAudioFrames(), 0u);
    EXPECT_FALSE(driver.HasLineContaining("was not stopped"));
    camera.Http().SetFault(camsim::HttpFault::None);
}

TEST_F(AudioOutput, TellsTheHostItsFormat)
{
    class CFormat : public ipcapture::IAudioFormat {
    public:
        void SetFourCC(uint32_t value) override { fourCC = value; }
        void SetSampleRate(uint32_t value) override { sampleRate = value; }
        void SetBitRate(uint32_t value) override { bitRate = value; }
        void SetStereo(uint8_t value) override { stereo = value; }
        uint32_t fourCC = 0, sampleRate = 0, bitRate = 0;
        uint8_t stereo = 9;
    } format;
    CAudioOutputChannel channel(&driver, kAudioId, 0, &host, &formats);
    ASSERT_TRUE(channel.GetAudioFormat(&format));
    EXPECT_EQ(format.fourCC, 0x4D313137u);
    EXPECT_EQ(format.sampleRate, 8000u);
    EXPECT_EQ(format.bitRate, 64000u);
    EXPECT_EQ(format.stereo, 0);
}

}  // namespace
