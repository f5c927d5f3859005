#pragma once
// The host's video capture object: turns host calls into video and motion
// channels, one table entry per channel index.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "channels/ICameraChannel.h"
#include "events/IMotionChannel.h"
#include "runtime/RecursiveLock.h"
#include "tallowcam/HostInterfaces.h"

namespace korvane {

class IVideoChannelCreator;

class CIPVideoCapture : public ipcapture::IIPVideoCaptureEx2 {
public:
    static constexpr uint32_t kStreamsPerChannel = 4;  // stream 0 is the main stream

    CIPVideoCapture(IVideoChannelCreator* creator, uint32_t channelCount);
    virtual ~CIPVideoCapture();
    TALLOWCAM_DELETING_DESTRUCTOR
    CIPVideoCapture(const CIPVideoCapture&) = delete;
    CIPVideoCapture& operator=(const CIPVideoCapture&) = delete;

    uint32_t GetChannelCount() override;
    bool StartChannel(uint32_t index, ipcapture::IFrameSink* sink, ipcapture::IStreamRequest* request) override;
    bool StopChannel(uint32_t index) override;
    bool ChangeChannel(uint32_t index, ipcapture::IResolution* resolution, uint32_t frameRate) override;
    uint32_t Reserved5() override { return 0; }
    // A stopped channel is reported as having lost its signal.
    bool GetChannelState(uint32_t index, uint32_t* state, uint32_t* extra, char* text, uint32_t length) override;
    // Only "EdgeStorageState" with type 2 (a 16-bit value).
    bool SetOption(const char* name, void* value, uint32_t type) override;
    bool GetOption(const char* name, void* value, uint32_t type) override;

    bool ResumeChannel(uint32_t index) override;
    bool SuspendChannel(uint32_t index) override;

    bool StartStream(uint32_t index, uint32_t streamNumber, ipcapture::IFrameSink* sink,
                     ipcapture::IStreamRequest* request) override;
    bool StopStream(uint32_t index, uint32_t streamNumber) override;

private:
    // The channels of one index; also what is taken out of an entry to be stopped. A
    // stream channel is shared with the calls running on it, so that the last of them
    // deletes a channel that was stopped meanwhile.
    struct ChannelEntry {
        std::array<std::shared_ptr<ICameraChannel>, kStreamsPerChannel> streams;
        std::unique_ptr<IMotionChannel> motion;
    };

    void CreateEdgeMonitorIfWanted();
    // Under the lock: the edge monitor (if any) watches or forgets channels.
    void WatchChannel(IEdgeMonitorChannel* channel);
    void ForgetChannels(const ChannelEntry& channels);
    // Outside the lock: motion channel first, then the further streams, then
    // the main stream; true if there was any.
    static bool StopAndDelete(ChannelEntry& channels);
    // Calls action with the main stream of index, taken from the table under the lock and
    // called outside it; false without one.
    template <typename Action>
    bool WithMainStream(uint32_t index, Action action);

    IVideoChannelCreator* m_creator;
    CRecursiveLock m_lock;
    std::vector<ChannelEntry> m_entries;  // sized once, never resized
    bool m_edgeStorage = false;
    std::unique_ptr<IEdgeMonitor> m_edgeMonitor;
};

}  // namespace korvane
