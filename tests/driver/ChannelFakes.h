#pragma once
// Channels and a channel creator that write every call into one journal, so
// that tests can check what the adapters did and in which order.
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/IAudioChannels.h"
#include "channels/ICameraChannel.h"
#include "driver/IAudioChannelCreator.h"
#include "driver/IVideoChannelCreator.h"
#include "events/IMotionChannel.h"

namespace korvane::test {

// Entries in the order written, from any thread.
class Journal {
public:
    void Add(std::string entry)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_entries.push_back(std::move(entry));
    }
    // The entries written since the last call.
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        std::vector<std::string> entries;
        entries.swap(m_entries);
        return entries;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_entries;
};

// Entries read "<name> <call>", names "video1", "motion2", "input3", ...
class JournalingObject {
public:
    JournalingObject(Journal& journal, std::string name) : m_journal(journal), m_name(std::move(name)) {}
    const std::string& Name() const { return m_name; }

protected:
    void Note(const std::string& call) { m_journal.Add(m_name + " " + call); }

private:
    Journal& m_journal;
    std::string m_name;
};

class FakeCameraChannel : public ICameraChannel, public JournalingObject {
public:
    FakeCameraChannel(Journal& journal, std::string name, uint32_t channelIndex, ipcapture::IFrameSink* sink)
        : JournalingObject(journal, std::move(name)), m_channelIndex(channelIndex), m_sink(sink)
    {
    }
    ~FakeCameraChannel() override { Note("delete"); }

    uint32_t GetChannelIndex() override { return m_channelIndex; }
    ipcapture::IFrameSink* GetFrameSink() override { return m_sink; }
    void SetEdgeMonitor(IEdgeMonitor*) override { Note("setEdgeMonitor"); }
    void SetHostInfo(uint32_t value) override { Note("hostInfo " + std::to_string(value)); }
    bool Start(const ChannelSettings& settings) override
    {
        started = settings;
        Note("start");
        return startResult;
    }
    void Stop() override { Note("stop"); }
    bool ChangeSettings(const ChannelSettings& settings) override
    {
        {
            std::lock_guard<std::mutex> guard(m_changeMutex);  // host threads may change at once
            changed = settings;
        }
        Note("change");
        if (changeAnswer.valid())
            changeAnswer.wait_for(std::chrono::seconds(2));  // a camera that answers slowly
        return changeResult;
    }
    bool Suspend() override
    {
        Note("suspend");
        return suspendResult;
    }
    bool Resume() override
    {
        Note("resume");
        return resumeResult;
    }
    uint32_t GetState() override { return state; }

    ChannelSettings started;
    ChannelSettings changed;
    bool startResult = true;
    bool changeResult = true;
    std::shared_future<void> changeAnswer;  // when valid, ChangeSettings waits for it
    std::mutex m_changeMutex;
    bool suspendResult = true;
    bool resumeResult = true;
    uint32_t state = kChannelStreaming;

protected:
    uint32_t Run() override { return 0; }
    bool ApplyParams() override { return true; }
    void OnStopThread() override {}

private:
    uint32_t m_channelIndex;
    ipcapture::IFrameSink* m_sink;
};

class FakeMotionChannel : public IMotionChannel, public JournalingObject {
public:
    FakeMotionChannel(Journal& journal, std::string name, uint32_t channelIndex, bool startResult)
        : JournalingObject(journal, std::move(name)), m_channelIndex(channelIndex), m_startResult(startResult)
    {
    }
    ~FakeMotionChannel() override { Note("delete"); }

    uint32_t GetChannelIndex() override { return m_channelIndex; }
    ipcapture::IFrameSink* GetFrameSink() override { return nullptr; }
    void SetEdgeMonitor(IEdgeMonitor*) override {}
    bool Start() override
    {
        Note("start");
        return m_startResult;
    }
    void Stop() override { Note("stop"); }
    void OnStopping() override {}
    bool IsConnected() override { return false; }

private:
    uint32_t m_channelIndex;
    bool m_startResult;
};

class FakeEdgeMonitor : public IEdgeMonitor, public JournalingObject {
public:
    explicit FakeEdgeMonitor(Journal& journal) : JournalingObject(journal, "monitor") {}
    ~FakeEdgeMonitor() override { Note("delete"); }

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

// Opens, closes and reports the state the test sets.
template <typename TInterface>
class TFakeAudioChannel : public TInterface, public JournalingObject {
public:
    using JournalingObject::JournalingObject;
    ~TFakeAudioChannel() override { Note("delete"); }

    bool Open() override
    {
        Note("open");
        return openResult;
    }
    bool Close() override
    {
        Note("close");
        return closeResult;
    }
    uint32_t GetState() override
    {
        Note("state");
        return 2;
    }

    bool openResult = true;
    bool closeResult = true;
};

using FakeAudioInputChannel = TFakeAudioChannel<IAudioInputChannel>;

class FakeAudioOutputChannel : public TFakeAudioChannel<IAudioOutputChannel> {
public:
    using TFakeAudioChannel::TFakeAudioChannel;

    bool GetAudioFormat(ipcapture::IAudioFormat*) override
    {
        Note("format");
        return true;
    }
    bool SendAudio(ipcapture::IAudioData*) override
    {
        Note("send");
        return true;
    }
};

// Every channel the journal saw created was stopped (or closed) and then
// deleted; false with the first offender's name otherwise.
inline bool EveryChannelEndedCleanly(const std::vector<std::string>& entries, std::string& offender)
{
    std::vector<std::string> open;     // created, not yet deleted
    std::vector<std::string> stopped;  // stopped or closed, not yet deleted
    auto erase = [](std::vector<std::string>& names, const std::string& name) {
        for (auto it = names.begin(); it != names.end(); ++it)
            if (*it == name) {
                names.erase(it);
                return true;
            }
        return false;
    };
    for (const std::string& entry : entries) {
        const size_t blank = entry.find(' ');
        const std::string first = entry.substr(0, blank);
        const std::string rest = entry.substr(blank + 1);
        if (first == "create") {
            open.push_back(rest.substr(0, rest.find(' ')));
        } else if (rest == "stop" || rest == "close") {
            stopped.push_back(first);
        } else if (rest == "delete" && first != "monitor") {
            if (!erase(open, first) || !erase(stopped, first)) {
                offender = first;
                return false;
            }
        }
    }
    if (!open.empty()) {
        offender = open.front();
        return false;
    }
    return true;
}

// Creates fakes named by kind and creation number; what it makes is set per test.
class JournalingCreator : public IVideoChannelCreator, public IAudioChannelCreator {
public:
    explicit JournalingCreator(Journal& journal) : m_journal(journal) {}

    ICameraChannel* CreateVideoChannel(uint32_t channelIndex, ipcapture::IFrameSink* sink,
                                       ChannelSettings* settings) override
    {
        const std::string name = "video" + std::to_string(++m_created);
        m_journal.Add("create " + name + " stream " + std::to_string(settings->streamNumber));
        if (!makeVideo)
            return nullptr;
        auto* channel = new FakeCameraChannel(m_journal, name, channelIndex, sink);
        channel->startResult = videoStartResult;
        lastVideo.store(channel);
        return channel;
    }
    IMotionChannel* CreateMotionChannel(uint32_t channelIndex, ipcapture::IFrameSink*) override
    {
        const std::string name = "motion" + std::to_string(++m_created);
        m_journal.Add("create " + name);
        return makeMotion ? new FakeMotionChannel(m_journal, name, channelIndex, motionStartResult) : nullptr;
    }
    IEdgeMonitor* CreateEdgeMonitor() override
    {
        m_journal.Add("create monitor");
        return makeEdgeMonitor ? new FakeEdgeMonitor(m_journal) : nullptr;
    }
    IAudioInputChannel* CreateAudioInputChannel(uint32_t audioId, uint32_t, ipcapture::IAudioSink*, uint32_t) override
    {
        const std::string name = "input" + std::to_string(audioId);
        m_journal.Add("create " + name);
        auto* channel = new FakeAudioInputChannel(m_journal, name);
        channel->openResult = audioOpenResult;
        return channel;
    }
    IAudioOutputChannel* CreateAudioOutputChannel(uint32_t audioId, uint32_t, ipcapture::IAudioStateSink*,
                                                  ipcapture::IAudioFormatList*) override
    {
        const std::string name = "output" + std::to_string(audioId);
        m_journal.Add("create " + name);
        auto* channel = new FakeAudioOutputChannel(m_journal, name);
        channel->openResult = audioOpenResult;
        return channel;
    }

    bool makeVideo = true;
    bool videoStartResult = true;
    bool makeMotion = true;
    bool motionStartResult = true;
    bool makeEdgeMonitor = true;
    bool audioOpenResult = true;
    std::atomic<FakeCameraChannel*> lastVideo{nullptr};  // owned by the adapter

private:
    Journal& m_journal;
    std::atomic<uint32_t> m_created{0};
};

}  // namespace korvane::test
