#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ChannelFakes.h"
#include "driver/IPAudioCapture.h"
#include "driver/IPAudioSender.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Host audio packet whose only used field is the channel id.
class AudioPacket : public ipcapture::IAudioData {
public:
    explicit AudioPacket(uint32_t channelId) : m_channelId(channelId) {}
    void SetData(const uint8_t*, uint32_t) override {}
    const uint8_t* GetData() override { return nullptr; }
    uint32_t GetDataSize() override { return 0; }
    void Commit() override {}
    uint32_t GetFourCC() override { return 0; }
    void SetFourCC(uint32_t) override {}
    void SetBitRate(uint32_t) override {}
    void SetChannelId(uint8_t) override {}
    uint32_t GetChannelId() override { return m_channelId; }
    uint8_t IsStereo() override { return 0; }
    uint32_t GetSampleRate() override { return 0; }
    uint32_t GetBitRate() override { return 0; }
    void SetFormat(uint32_t, uint8_t, uint8_t) override {}

private:
    uint32_t m_channelId;
};

class AudioAdaptersTest : public ::testing::Test {
protected:
    std::vector<std::string> TakeJournal() { return journal.Take(); }

    Journal journal;
    JournalingCreator creator{journal};
};

TEST_F(AudioAdaptersTest, CaptureOpensUpToItsLimit)
{
    CIPAudioCapture capture(&creator, 2);
    EXPECT_TRUE(capture.OpenChannel(1, 0, nullptr, 0));
    EXPECT_TRUE(capture.OpenChannel(2, 0, nullptr, 0));
    EXPECT_EQ(capture.GetChannelCount(), 2u);
    TakeJournal();

    EXPECT_FALSE(capture.OpenChannel(3, 0, nullptr, 0));
    EXPECT_THAT(TakeJournal(), IsEmpty());

    // An open id counts as success and creates nothing.
    EXPECT_TRUE(capture.OpenChannel(2, 0, nullptr, 0));
    EXPECT_THAT(TakeJournal(), IsEmpty());
}

TEST_F(AudioAdaptersTest, ChannelThatFailsToOpenIsClosedAndDeleted)
{
    CIPAudioCapture capture(&creator, 1);
    creator.audioOpenResult = false;
    EXPECT_FALSE(capture.OpenChannel(5, 0, nullptr, 0));
    EXPECT_EQ(capture.GetChannelCount(), 0u);
    EXPECT_THAT(TakeJournal(), ElementsAre("create input5", "input5 open", "input5 close", "input5 delete"));
}

TEST_F(AudioAdaptersTest, CloseRemovesClosesAndDeletes)
{
    CIPAudioCapture capture(&creator, 1);
    EXPECT_FALSE(capture.CloseChannel(1));
    ASSERT_TRUE(capture.OpenChannel(1, 0, nullptr, 0));
    TakeJournal();
    EXPECT_TRUE(capture.CloseChannel(1));
    EXPECT_EQ(capture.GetChannelCount(), 0u);
    EXPECT_THAT(TakeJournal(), ElementsAre("input1 close", "input1 delete"));
    // The freed place can be used again.
    EXPECT_TRUE(capture.OpenChannel(2, 0, nullptr, 0));
}

TEST_F(AudioAdaptersTest, RefreshAsksTheChannelForItsState)
{
    CIPAudioCapture capture(&creator, 1);
    capture.RefreshChannel(1);
    ASSERT_TRUE(capture.OpenChannel(1, 0, nullptr, 0));
    TakeJournal();
    capture.RefreshChannel(1);
    EXPECT_THAT(TakeJournal(), ElementsAre("input1 state"));
    EXPECT_EQ(capture.GetChannelCount(), 1u);
}

TEST_F(AudioAdaptersTest, SenderRoutesAudioByTheLowByteOfTheChannelId)
{
    CIPAudioSender sender(&creator, 2);
    ASSERT_TRUE(sender.OpenChannel(3, 0, nullptr, nullptr));
    TakeJournal();

    AudioPacket packet(0x103);
    EXPECT_TRUE(sender.SendAudio(&packet));
    AudioPacket unknown(4);
    EXPECT_FALSE(sender.SendAudio(&unknown));
    EXPECT_FALSE(sender.SendAudio(nullptr));
    EXPECT_THAT(TakeJournal(), ElementsAre("output3 send"));
}

TEST_F(AudioAdaptersTest, SenderForwardsOptionsAndRefreshToKnownChannels)
{
    CIPAudioSender sender(&creator, 1);
    EXPECT_FALSE(sender.SetChannelOption(1, nullptr));
    ASSERT_TRUE(sender.OpenChannel(1, 0, nullptr, nullptr));
    EXPECT_FALSE(sender.OpenChannel(2, 0, nullptr, nullptr));
    TakeJournal();
    EXPECT_TRUE(sender.SetChannelOption(1, nullptr));
    sender.RefreshChannel(1);
    EXPECT_THAT(TakeJournal(), ElementsAre("output1 format", "output1 state"));
}

TEST_F(AudioAdaptersTest, DestructionClosesEveryOpenChannel)
{
    {
        CIPAudioSender sender(&creator, 2);
        sender.OpenChannel(1, 0, nullptr, nullptr);
        sender.OpenChannel(2, 0, nullptr, nullptr);
        TakeJournal();
    }
    EXPECT_THAT(TakeJournal(), ElementsAre("output1 close", "output1 delete", "output2 close", "output2 delete"));
}

TEST(AudioAdaptersConcurrency, ParallelOpensStayWithinTheLimit)
{
    Journal journal;
    JournalingCreator creator(journal);
    std::atomic<uint32_t> mostOpen{0};
    {
        CIPAudioCapture capture(&creator, 2);
        auto hostThread = [&](uint32_t firstId) {
            for (uint32_t round = 0; round < 300; ++round) {
                const uint32_t id = firstId + round % 3;
                capture.OpenChannel(id, 0, nullptr, 0);
                const uint32_t count = capture.GetChannelCount();
                if (count > mostOpen)
                    mostOpen = count;
                capture.RefreshChannel(id);
                if (round % 2 == 1)
                    capture.CloseChannel(id);
            }
        };
        std::thread first(hostThread, 1);
        std::thread second(hostThread, 2);
        first.join();
        second.join();
    }
    EXPECT_LE(mostOpen.load(), 2u);
    std::string offender;
    EXPECT_TRUE(EveryChannelEndedCleanly(journal.Take(), offender)) << offender;
}

}  // namespace
}  // namespace korvane::test
