#pragma once
// Motion detection of a Canon camera: polls the detection areas ("r" items)
// once a second; there is motion while some area of type 1 is active.
#include <cstdint>
#include <string>
#include <vector>

#include "driver/LoggerInstance.h"
#include "events/BaseMotionChannel.h"
#include "runtime/HttpSender.h"

namespace korvane {

class CCanonMotionChannel : public CBaseMotionChannel, private CLoggerInstance {
public:
    // Counts above this are taken as this many areas.
    static constexpr uint32_t kMaxDetectionAreas = 256;

    CCanonMotionChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink);
    ~CCanonMotionChannel() override;

    // Ends a poll that waits for the camera.
    void OnStopping() override;

    struct DetectionArea {
        uint32_t type = 0;
        bool active = false;
    };
    // Applies an "r" reply to the areas; a reply without a count (or with 0) leaves them as they are.
    static void UpdateAreas(const std::string& reply, std::vector<DetectionArea>& areas);
    static bool HasMotion(const std::vector<DetectionArea>& areas);

protected:
    bool Run() override;

private:
    // Polls until the stop event is set or a request fails.
    void PollLoop();

    Web::CHttpSender m_sender;
};

}  // namespace korvane
