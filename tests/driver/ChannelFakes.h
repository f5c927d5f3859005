#pragma once
// Channels and a channel creator that write every call into one journal, so
// that tests can check what the adapters did and in which order.
#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "audio/IAudioChannels.h"
#include "channels/ICameraChannel.h"
#include "driver/IAudioChannelCreator.h"
#include "driver/IVideoChannelCreator.h"
#include "events/IMotionChannel.h"

namespace korvane::test {

// Entries "<name> <call>" in the order written, from any thread; names "video1", "motion2", "input3", ...
class Journal {
public:
    // False when the test makes this call of this kind of object fail: "video start" fails "video2 start".
    bool Add(const std::string& name, const std::string& call)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_entries.push_back(name + " " + call);
        return failing.count(name.substr(0, name.find_first_of("0123456789")) + " " + call) == 0;
    }
    // The entries written since the last call.
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return std::exchange(m_entries, {});
    }

    std::set<std::string> failing;  // changed only while no adapter runs

private:
    std::mutex m_mutex;
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

class FakeCameraChannel : public TFakeChannel<ICameraChannel> {
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
        {
            std::lock_guard<std::mutex> guard(m_changeMutex);  // host threads may change at once
            changed = settings;
        }
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

private:
    std::mutex m_changeMutex;
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

    bool makeVideo = true;
    bool makeMotion = true;
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

}  // namespace korvane::test
