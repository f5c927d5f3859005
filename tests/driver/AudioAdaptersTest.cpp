#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ChannelFakes.h"
#include "driver/IPAudioCapture.h"
#include "driver/IPAudioSender.h"
#include "support/FrameHost.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Host audio packet with a channel id wider than its setter takes.
class AudioPacket : public CRecordingAudioData {
public:
    explicit AudioPacket(uint32_t channelId) : m_channelId(channelId) {}
    uint32_t GetChannelId() override { return m_channelId; }

private:
    uint32_t m_channelId;
};

class AudioAdaptersTest : public ::testing::Test {
protected:
    std::vector<std::string> TakeJournal() { return journal.Take(); }

    Journal journal;
    JournalingCreator creator{journal};
};

TEST_F(AudioAdaptersTest, CaptureOpensUpToItsLimitAndClosesByRemovingClosingAndDeleting)
{
    CIPAudioCapture capture(&creator, 2);
    EXPECT_FALSE(capture.CloseChannel(1));
    capture.RefreshChannel(1);
    EXPECT_TRUE(capture.OpenChannel(1, 0, nullptr, 0));
    EXPECT_TRUE(capture.OpenChannel(2, 0, nullptr, 0));
    EXPECT_EQ(capture.GetChannelCount(), 2u);
    TakeJournal();
    EXPECT_FALSE(capture.OpenChannel(3, 0, nullptr, 0));
    EXPECT_TRUE(capture.OpenChannel(2, 0, nullptr, 0));  // an open id counts as success and creates nothing
    EXPECT_THAT(TakeJournal(), IsEmpty());

    capture.RefreshChannel(1);
    EXPECT_THAT(TakeJournal(), ElementsAre("input1 state"));
    EXPECT_TRUE(capture.CloseChannel(1));
    EXPECT_EQ(capture.GetChannelCount(), 1u);
    EXPECT_THAT(TakeJournal(), ElementsAre("input1 close", "input1 delete"));
    EXPECT_TRUE(capture.OpenChannel(3, 0, nullptr, 0));  // the freed place can be used again

    journal.failing.insert("input open");
    EXPECT_TRUE(capture.CloseChannel(3));
    TakeJournal();
    EXPECT_FALSE(capture.OpenChannel(5, 0, nullptr, 0));
    EXPECT_EQ(capture.GetChannelCount(), 1u);
    EXPECT_THAT(TakeJournal(), ElementsAre("create input5", "input5 open", "input5 close", "input5 delete"));
}

TEST_F(AudioAdaptersTest, SenderRoutesAudioByTheLowByteOfTheChannelIdAndClosesEveryChannelAtTheEnd)
{
    {
        CIPAudioSender sender(&creator, 2);
        EXPECT_FALSE(sender.SetChannelOption(3, nullptr));
        ASSERT_TRUE(sender.OpenChannel(1, 0, nullptr, nullptr));
        ASSERT_TRUE(sender.OpenChannel(3, 0, nullptr, nullptr));
        EXPECT_FALSE(sender.OpenChannel(2, 0, nullptr, nullptr));
        TakeJournal();

        AudioPacket packet(0x103);
        EXPECT_TRUE(sender.SendAudio(&packet));
        AudioPacket unknown(4);
        EXPECT_FALSE(sender.SendAudio(&unknown));
        EXPECT_FALSE(sender.SendAudio(nullptr));
        EXPECT_TRUE(sender.SetChannelOption(1, nullptr));
        sender.RefreshChannel(1);
        EXPECT_THAT(TakeJournal(), ElementsAre("output3 send", "output1 format", "output1 state"));
    }
    EXPECT_THAT(TakeJournal(), ElementsAre("output1 close", "output1 delete", "output3 close", "output3 delete"));
}

TEST_F(AudioAdaptersTest, ParallelOpensStayWithinTheLimit)
{
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
    EXPECT_EQ(FirstUncleanChannel(TakeJournal()), "");
}

}  // namespace
}  // namespace korvane::test
