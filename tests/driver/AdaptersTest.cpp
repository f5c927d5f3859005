// The adapters the host drives (video capture, audio capture, audio sender)
// over channels and a channel creator that write every call into one journal,
// so that the tests check what the adapters did and in which order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "audio/IAudioChannels.h"
#include "channels/ICameraChannel.h"
#include "driver/IAudioChannelCreator.h"
#include "driver/IPAudioCapture.h"
#include "driver/IPAudioSender.h"
#include "driver/IPVideoCapture.h"
#include "driver/IVideoChannelCreator.h"
#include "events/IMotionChannel.h"
#include "support/DriverHost.h"
#include "support/FrameHost.h"
#include "support/Guarded.h"
#include "support/WaitUntil.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Entries "<name> <call>" in the order written, from any thread; names "video1", "motion2", "input3", ...
class Journal : private Guarded {
public:
    // False when the test makes this call of this kind of object fail: "video start" fails "video2 start".
    bool Add(const std::string& name, const std::string& call)
    {
        Locked([&] { m_entries.push_back(name + " " + call); });
        return failing.count(name.substr(0, name.find_first_of("0123456789")) + " " + call) == 0;
    }
    // The entries written since the last call.
    std::vector<std::string> Take() { return Locked([&] { return std::exchange(m_entries, {}); }); }

    std::set<std::string> failing;  // changed only while no adapter runs

private:
    std::vector<std::string> m_entries;
};

class JournalingObject {
public:
    JournalingObject(Journal& journal, std::string name) : m_journal(journal), m_name(std::move(name)) {}
    virtual ~JournalingObject() { Note("delete"); }
    const std::string& Name() const { return m_name; }

protected:
    bool Note(const std::string& call) { return m_journal.Add(m_name, call); }

private:
    Journal& m_journal;
    std::string m_name;
};

// What video and motion channels share: the index and sink they were made with.
template <typename TInterface>
class TFakeChannel : public TInterface, public JournalingObject {
public:
    TFakeChannel(Journal& journal, std::string name, uint32_t channelIndex, ipcapture::IFrameSink* sink)
        : JournalingObject(journal, std::move(name)), m_channelIndex(channelIndex), m_sink(sink)
    {
    }
    uint32_t GetChannelIndex() override { return m_channelIndex; }
    ipcapture::IFrameSink* GetFrameSink() override { return m_sink; }
    void SetEdgeMonitor(IEdgeMonitor*) override { Note("setEdgeMonitor"); }
    void Stop() override { Note("stop"); }

private:
    uint32_t m_channelIndex;
    ipcapture::IFrameSink* m_sink;
};

class FakeCameraChannel : public TFakeChannel<ICameraChannel>, private Guarded {
public:
    using TFakeChannel::TFakeChannel;

    void SetHostInfo(uint32_t value) override { Note("hostInfo " + std::to_string(value)); }
    bool Start(const ChannelSettings& settings) override
    {
        started = settings;
        return Note("start");
    }
    bool ChangeSettings(const ChannelSettings& settings) override
    {
        Locked([&] { changed = settings; });  // host threads may change at once
        const bool result = Note("change");
        if (changeAnswer.valid())
            changeAnswer.wait_for(std::chrono::seconds(2));  // a camera that answers slowly
        return result;
    }
    bool Suspend() override { return Note("suspend"); }
    bool Resume() override { return Note("resume"); }
    uint32_t GetState() override { return state; }

    ChannelSettings started;
    ChannelSettings changed;
    std::shared_future<void> changeAnswer;  // when valid, ChangeSettings waits for it
    uint32_t state = kChannelStreaming;

protected:
    uint32_t Run() override { return 0; }
    bool ApplyParams() override { return true; }
    void OnStopThread() override {}
};

class FakeMotionChannel : public TFakeChannel<IMotionChannel> {
public:
    using TFakeChannel::TFakeChannel;

    bool Start() override { return Note("start"); }
    void OnStopping() override {}
    bool IsConnected() override { return false; }
};

class FakeEdgeMonitor : public IEdgeMonitor, public JournalingObject {
public:
    using JournalingObject::JournalingObject;

    void AddChannel(IEdgeMonitorChannel* channel) override { Note("add " + NameOf(channel)); }
    void RemoveChannel(IEdgeMonitorChannel* channel) override { Note("remove " + NameOf(channel)); }
    void FrameReceived(uint32_t, uint64_t) override {}
    void SignalLost(uint32_t) override {}

private:
    static std::string NameOf(IEdgeMonitorChannel* channel)
    {
        auto* named = dynamic_cast<JournalingObject*>(channel);
        return named != nullptr ? named->Name() : "?";
    }
};

// Opens, closes and reports the state; audio output also formats and sends.
template <typename TInterface>
class TFakeAudioChannel : public TInterface, public JournalingObject {
public:
    using JournalingObject::JournalingObject;

    bool Open() override { return Note("open"); }
    bool Close() override { return Note("close"); }
    uint32_t GetState() override
    {
        Note("state");
        return 2;
    }
    bool GetAudioFormat(ipcapture::IAudioFormat*) { return Note("format"); }
    bool SendAudio(ipcapture::IAudioData*) { return Note("send"); }
};

// The first channel the journal saw created that was not stopped (or closed)
// and then deleted; empty when every channel ended cleanly. Channels of one
// name may overlap: two host threads may create one for the same id at once.
inline std::string FirstUncleanChannel(const std::vector<std::string>& entries)
{
    std::map<std::string, std::pair<int, int>> live;  // per name: running, and ended but not deleted
    for (const std::string& entry : entries) {
        const std::string first = entry.substr(0, entry.find(' '));
        const std::string rest = entry.substr(entry.find(' ') + 1);
        if (first == "create" && rest != "monitor") {
            ++live[rest.substr(0, rest.find(' '))].first;
        } else if (rest == "stop" || rest == "close") {
            --live[first].first;
            ++live[first].second;
        } else if (rest == "delete" && first != "monitor" && live[first].second-- == 0) {
            return first;
        }
    }
    for (const auto& [name, counts] : live)
        if (counts != std::make_pair(0, 0))
            return name;
    return "";
}

// Creates fakes named by kind and creation number; whether it makes video and motion channels is set per test.
class JournalingCreator : public IVideoChannelCreator, public IAudioChannelCreator {
public:
    explicit JournalingCreator(Journal& journal) : m_journal(journal) {}

    ICameraChannel* CreateVideoChannel(uint32_t channelIndex, ipcapture::IFrameSink* sink,
                                       ChannelSettings* settings) override
    {
        const std::string stream = " stream " + std::to_string(settings->streamNumber);
        auto* channel = Create<FakeCameraChannel>(makeVideo, "video" + std::to_string(++m_created), stream,
                                                  channelIndex, sink);
        lastVideo = channel;  // another host thread may create one meanwhile
        return channel;
    }
    IMotionChannel* CreateMotionChannel(uint32_t channelIndex, ipcapture::IFrameSink* sink) override
    {
        return Create<FakeMotionChannel>(makeMotion, "motion" + std::to_string(++m_created), "", channelIndex, sink);
    }
    IEdgeMonitor* CreateEdgeMonitor() override { return Create<FakeEdgeMonitor>(true, "monitor", ""); }
    IAudioInputChannel* CreateAudioInputChannel(uint32_t audioId, uint32_t, ipcapture::IAudioSink*, uint32_t) override
    {
        return Create<TFakeAudioChannel<IAudioInputChannel>>(true, "input" + std::to_string(audioId), "");
    }
    IAudioOutputChannel* CreateAudioOutputChannel(uint32_t audioId, uint32_t, ipcapture::IAudioStateSink*,
                                                  ipcapture::IAudioFormatList*) override
    {
        return Create<TFakeAudioChannel<IAudioOutputChannel>>(true, "output" + std::to_string(audioId), "");
    }

    bool makeVideo = true, makeMotion = true;
    std::atomic<FakeCameraChannel*> lastVideo{nullptr};  // owned by the adapter

private:
    template <typename TFake, typename... Args>
    TFake* Create(bool make, const std::string& name, const std::string& details, Args... args)
    {
        m_journal.Add("create", name + details);
        return make ? new TFake(m_journal, name, args...) : nullptr;
    }

    Journal& m_journal;
    std::atomic<uint32_t> m_created{0};
};

// A channel's settings as one comparable value.
inline auto Fields(const ChannelSettings& s)
{
    return std::make_tuple(s.frameRate, s.quality, s.width, s.height, s.codec, s.streamNumber);
}

class AdaptersTest : public ::testing::Test {
protected:
    FakeCameraChannel& LastVideo() { return *creator.lastVideo.load(); }

    Journal journal;
    JournalingCreator creator{journal};
    CIPVideoCapture capture{&creator, 2};
    CFrameHost sink;
    SettableStreamRequest request;
};
using AudioAdaptersTest = AdaptersTest;
using VideoCaptureTest = AdaptersTest;

// Host audio packet with a channel id wider than its setter takes.
class AudioPacket : public CRecordingAudioData {
public:
    explicit AudioPacket(uint32_t channelId) : m_channelId(channelId) {}
    uint32_t GetChannelId() override { return m_channelId; }

private:
    uint32_t m_channelId;
};

TEST_F(AudioAdaptersTest, CaptureAndSenderOpenUpToTheirLimitsAndCloseByRemovingClosingAndDeleting)
{
    CIPAudioCapture capture(&creator, 2);
    EXPECT_FALSE(capture.CloseChannel(1));
    capture.RefreshChannel(1);
    EXPECT_TRUE(capture.OpenChannel(1, 0, nullptr, 0));
    EXPECT_TRUE(capture.OpenChannel(2, 0, nullptr, 0));
    EXPECT_EQ(capture.GetChannelCount(), 2u);
    journal.Take();
    EXPECT_FALSE(capture.OpenChannel(3, 0, nullptr, 0));
    EXPECT_TRUE(capture.OpenChannel(2, 0, nullptr, 0));  // an open id counts as success and creates nothing
    EXPECT_THAT(journal.Take(), IsEmpty());

    capture.RefreshChannel(1);
    EXPECT_THAT(journal.Take(), ElementsAre("input1 state"));
    EXPECT_TRUE(capture.CloseChannel(1));
    EXPECT_EQ(capture.GetChannelCount(), 1u);
    EXPECT_THAT(journal.Take(), ElementsAre("input1 close", "input1 delete"));
    EXPECT_TRUE(capture.OpenChannel(3, 0, nullptr, 0));  // the freed place can be used again

    journal.failing.insert("input open");
    EXPECT_TRUE(capture.CloseChannel(3));
    journal.Take();
    EXPECT_FALSE(capture.OpenChannel(5, 0, nullptr, 0));
    EXPECT_EQ(capture.GetChannelCount(), 1u);
    EXPECT_THAT(journal.Take(), ElementsAre("create input5", "input5 open", "input5 close", "input5 delete"));

    // The sender routes audio by the low byte of the channel id and closes every channel at the end.
    {
        CIPAudioSender sender(&creator, 2);
        EXPECT_FALSE(sender.SetChannelOption(3, nullptr));
        ASSERT_TRUE(sender.OpenChannel(1, 0, nullptr, nullptr));
        ASSERT_TRUE(sender.OpenChannel(3, 0, nullptr, nullptr));
        EXPECT_FALSE(sender.OpenChannel(2, 0, nullptr, nullptr));
        journal.Take();

        AudioPacket packet(0x103);
        EXPECT_TRUE(sender.SendAudio(&packet));
        AudioPacket unknown(4);
        EXPECT_FALSE(sender.SendAudio(&unknown));
        EXPECT_FALSE(sender.SendAudio(nullptr));
        EXPECT_TRUE(sender.SetChannelOption(1, nullptr));
        sender.RefreshChannel(1);
        EXPECT_THAT(journal.Take(), ElementsAre("output3 send", "output1 format", "output1 state"));
    }
    EXPECT_THAT(journal.Take(), ElementsAre("output1 close", "output1 delete", "output3 close", "output3 delete"));
}

// Host threads in parallel: audio opens stay within the limit, video starts and stops lose no channel.
TEST_F(AdaptersTest, ParallelHostThreadsStayWithinTheLimitAndLoseNoChannel)
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
    {
        CIPVideoCapture shared(&creator, 1);
        auto hostThread = [&] {
            SettableStreamRequest request;
            request.rate.motionDetection = 1;
            SettableResolution resolution;
            for (int round = 0; round < 200; ++round) {
                shared.StartChannel(0, &sink, &request);
                shared.StartStream(0, 1 + round % 3, &sink, &request);
                uint32_t state = 0;
                shared.GetChannelState(0, &state, nullptr, nullptr, 0);
                shared.ChangeChannel(0, &resolution, 40);
                shared.StopStream(0, 1 + round % 2);
                if (round % 4 == 0)
                    shared.StopChannel(0);
            }
        };
        std::thread first(hostThread);
        std::thread second(hostThread);
        first.join();
        second.join();
    }
    EXPECT_LE(mostOpen.load(), 2u);
    EXPECT_EQ(FirstUncleanChannel(journal.Take()), "");
}

TEST_F(VideoCaptureTest, StartChannelBuildsTheMainStreamAndARestartReplacesIt)
{
    EXPECT_FALSE(capture.StartChannel(2, &sink, &request));  // beyond the table
    EXPECT_FALSE(capture.StartStream(2, 1, &sink, &request));
    EXPECT_FALSE(capture.StopChannel(2));
    EXPECT_FALSE(capture.StopChannel(0));  // an empty entry
    EXPECT_THAT(journal.Take(), IsEmpty());

    request = StreamRequest(1, 1280, 720, 15, 70);
    request.hostInfo = 42;
    ASSERT_TRUE(capture.StartChannel(1, &sink, &request));
    ASSERT_NE(creator.lastVideo.load(), nullptr);
    EXPECT_EQ(std::make_tuple(Fields(LastVideo().started), LastVideo().GetChannelIndex(), LastVideo().GetFrameSink()),
              std::make_tuple(Fields({0x7000 + 15, 70, 1280, 720, 1, 0}), 1u, &sink));
    // Without edge storage no monitor is asked for.
    EXPECT_THAT(journal.Take(), ElementsAre("create video1 stream 0", "video1 hostInfo 42", "video1 start"));

    ASSERT_TRUE(capture.StartChannel(1, &sink, &request));
    EXPECT_THAT(journal.Take(), ElementsAre("video1 stop", "video1 delete", "create video2 stream 0",
                                           "video2 hostInfo 42", "video2 start"));
}

TEST_F(VideoCaptureTest, StopChannelStopsMotionThenFurtherStreamsThenTheMainStreamAndStreamsStopAlone)
{
    request.rate.motionDetection = 1;
    ASSERT_TRUE(capture.StartChannel(0, &sink, &request));
    ASSERT_TRUE(capture.StartStream(0, 2, &sink, &request));
    ASSERT_TRUE(capture.StartStream(0, 1, &sink, &request));
    EXPECT_THAT(journal.Take(), ElementsAre("create video1 stream 0", "video1 hostInfo 0", "video1 start",
                                           "create motion2", "motion2 start", "create video3 stream 2",
                                           "video3 start", "create video4 stream 1", "video4 start"));

    EXPECT_TRUE(capture.StopChannel(0));
    EXPECT_THAT(journal.Take(), ElementsAre("motion2 stop", "motion2 delete", "video3 stop", "video3 delete",
                                           "video4 stop", "video4 delete", "video1 stop", "video1 delete"));
    EXPECT_FALSE(capture.StopChannel(0));

    // Further streams are started and stopped on their own, and are no main stream.
    EXPECT_FALSE(capture.StartStream(0, 4, &sink, &request));
    ASSERT_TRUE(capture.StartStream(0, 3, &sink, &request));
    EXPECT_EQ(LastVideo().started.streamNumber, 3u);
    uint32_t state = 0;
    EXPECT_FALSE(capture.GetChannelState(0, &state, nullptr, nullptr, 0));
    journal.failing.insert("video start");
    EXPECT_FALSE(capture.StartStream(0, 1, &sink, &request));
    journal.Take();
    EXPECT_TRUE(capture.StopStream(0, 1));  // kept although its start failed
    EXPECT_THAT(journal.Take(), ElementsAre("video6 stop", "video6 delete"));
    EXPECT_FALSE(capture.StopStream(0, 1));
    EXPECT_FALSE(capture.StopStream(0, 4));
    EXPECT_TRUE(capture.StopStream(0, 3));
}

TEST_F(VideoCaptureTest, FailedCreationOrStartOfTheVideoOrMotionChannelIsReported)
{
    creator.makeVideo = false;
    EXPECT_FALSE(capture.StartChannel(0, &sink, &request));
    uint32_t state = 99;
    EXPECT_FALSE(capture.GetChannelState(0, &state, nullptr, nullptr, 0));
    creator.makeVideo = true;
    journal.failing.insert("video start");
    EXPECT_FALSE(capture.StartChannel(0, &sink, &request));
    EXPECT_TRUE(capture.StopChannel(0));  // the channel that failed to start stays in the table until stopped

    journal.failing.erase("video start");
    request.rate.motionDetection = 1;
    journal.failing.insert("motion start");
    EXPECT_FALSE(capture.StartChannel(0, &sink, &request));

    creator.makeMotion = false;
    EXPECT_FALSE(capture.StartChannel(1, &sink, &request));

    // No motion channel is asked for when the video channel did not start.
    creator.makeMotion = true;
    journal.failing.insert("video start");
    journal.Take();
    EXPECT_FALSE(capture.StartChannel(1, &sink, &request));
    EXPECT_THAT(journal.Take(),
                ElementsAre("video5 stop", "video5 delete", "create video7 stream 0", "video7 hostInfo 0",
                            "video7 start"));
}

TEST_F(VideoCaptureTest, ASlowChangeHoldsUpNoOtherIndexAndKeepsItsChannelAlive)
{
    ASSERT_TRUE(capture.StartChannel(0, &sink, &request));
    FakeCameraChannel& slow = LastVideo();
    ASSERT_TRUE(capture.StartChannel(1, &sink, &request));
    std::promise<void> answer;
    slow.changeAnswer = answer.get_future().share();
    journal.Take();
    SettableResolution resolution;
    auto change = std::async(std::launch::async, [&] { return capture.ChangeChannel(0, &resolution, 40); });
    std::vector<std::string> seen;
    ASSERT_TRUE(WaitUntil([&] { return !(seen = journal.Take()).empty(); }, 1000));
    EXPECT_THAT(seen, ElementsAre("video1 change"));

    uint32_t state = 99;
    EXPECT_LT(TimedMs([&] { EXPECT_TRUE(capture.GetChannelState(1, &state, nullptr, nullptr, 0)); }), 100u);
    EXPECT_TRUE(capture.StopChannel(0));
    EXPECT_THAT(journal.Take(), ElementsAre("video1 stop"));  // deleted only once the change is over
    answer.set_value();
    EXPECT_TRUE(change.get());
    EXPECT_THAT(journal.Take(), ElementsAre("video1 delete"));
}

TEST_F(VideoCaptureTest, TheMainStreamIsChangedSuspendedResumedAndAskedForItsState)
{
    SettableResolution resolution;
    resolution.width = 320;
    resolution.height = 240;
    EXPECT_FALSE(capture.ChangeChannel(0, &resolution, 200));
    EXPECT_FALSE(capture.SuspendChannel(0));
    EXPECT_FALSE(capture.ResumeChannel(0));
    uint32_t state = 99, extra = 99;
    char unset[8] = "junk";
    EXPECT_FALSE(capture.GetChannelState(1, &state, &extra, unset, sizeof unset));
    EXPECT_EQ(std::make_tuple(extra, std::string(unset)), std::make_tuple(0u, ""));
    ASSERT_TRUE(capture.StartChannel(0, &sink, &request));
    journal.Take();

    journal.failing.insert("video change");
    EXPECT_FALSE(capture.ChangeChannel(0, &resolution, 200));
    journal.failing.erase("video change");
    EXPECT_TRUE(capture.ChangeChannel(0, &resolution, 200));
    EXPECT_EQ(Fields(LastVideo().changed), Fields({200, 0, 320, 240, 0, 0}));
    EXPECT_FALSE(capture.ChangeChannel(0, nullptr, 200));
    EXPECT_TRUE(capture.SuspendChannel(0));
    journal.failing.insert("video resume");
    EXPECT_FALSE(capture.ResumeChannel(0));
    EXPECT_THAT(journal.Take(), ElementsAre("video1 change", "video1 change", "video1 suspend", "video1 resume"));

    char text[8] = "junk";
    EXPECT_TRUE(capture.GetChannelState(0, &state, &extra, text, sizeof text));
    EXPECT_EQ(std::make_tuple(state, extra, std::string(text)), std::make_tuple(0u, 0u, ""));
    // Stopped counts as signal lost.
    for (uint32_t lost : {kChannelSignalLost, kChannelStopped}) {
        LastVideo().state = lost;
        EXPECT_TRUE(capture.GetChannelState(0, &state, nullptr, nullptr, 0));
        EXPECT_EQ(state, 2u) << lost;
    }
}

TEST_F(VideoCaptureTest, EdgeStorageOptionNeedsTheSixteenBitTypeAndBringsAMonitor)
{
    uint16_t on = 1;
    uint32_t wide = 1;
    EXPECT_FALSE(capture.SetOption("EdgeStorageState", &wide, 4));
    EXPECT_FALSE(capture.SetOption("OtherOption", &on, 2));
    EXPECT_FALSE(capture.SetOption("EdgeStorageState", nullptr, 2));
    uint16_t read = 7;
    ASSERT_TRUE(capture.GetOption("EdgeStorageState", &read, 2));
    EXPECT_EQ(read, 0u);

    EXPECT_TRUE(capture.SetOption("EdgeStorageState", &on, 2));
    ASSERT_TRUE(capture.GetOption("EdgeStorageState", &read, 2));
    EXPECT_EQ(read, 1u);
    EXPECT_FALSE(capture.GetOption("EdgeStorageState", &read, 1));
    EXPECT_FALSE(capture.GetOption("Other", &read, 2));

    // Once edge storage is on a monitor watches the channels.
    request.rate.motionDetection = 1;
    ASSERT_TRUE(capture.StartChannel(0, &sink, &request));
    ASSERT_TRUE(capture.StartStream(0, 1, &sink, &request));
    EXPECT_THAT(journal.Take(), ElementsAre("create monitor", "create video1 stream 0", "video1 hostInfo 0",
                                           "video1 start", "create motion2", "motion2 start", "monitor add video1",
                                           "monitor add motion2", "create video3 stream 1", "video3 start",
                                           "monitor add video3"));
    EXPECT_TRUE(capture.StopStream(0, 1));
    EXPECT_THAT(journal.Take(), ElementsAre("monitor remove video3", "video3 stop", "video3 delete"));
    EXPECT_TRUE(capture.StopChannel(0));
    EXPECT_THAT(journal.Take(), ElementsAre("monitor remove motion2", "monitor remove video1", "motion2 stop",
                                           "motion2 delete", "video1 stop", "video1 delete"));
}

TEST_F(VideoCaptureTest, DestructionStopsEveryChannelAndDeletesTheMonitor)
{
    {
        CIPVideoCapture own(&creator, 2);
        uint16_t on = 1;
        own.SetOption("EdgeStorageState", &on, 2);
        own.StartChannel(0, &sink, &request);
        own.StartStream(1, 2, &sink, &request);
        journal.Take();
    }
    EXPECT_THAT(journal.Take(), ElementsAre("monitor remove video1", "video1 stop", "video1 delete",
                                     "monitor remove video2", "video2 stop", "video2 delete", "monitor delete"));
}

}  // namespace
}  // namespace korvane::test
