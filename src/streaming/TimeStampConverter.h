#pragma once
// Wall-clock frame times (file-time scale, 100 ns) from RTP time stamps.
#include <cstdint>

#include "platform/Time.h"
#include "streaming/StatisticsHelper.h"
#include "tallowcam/HostTypes.h"

namespace korvane {

class CTimeStampConverter {
public:
    using WallClock = uint64_t (*)();

    explicit CTimeStampConverter(WallClock wallClock = platform::NowFileTime) : m_wallClock(wallClock) {}
    virtual ~CTimeStampConverter() = default;

    void Reset();
    void Update(uint32_t timeStamp);
    // The frame time, or the current time while none is known.
    void GetTime(SYSTEMTIME& out) const;
    uint64_t GetFrameTime() const { return m_frameTime; }

private:
    void Restart(uint64_t now, uint32_t timeStamp);
    // The step of a time-stamp step on the measured clock rate, less a share
    // of the pending correction.
    uint64_t MeasuredStep(uint32_t timeStampStep);

    WallClock m_wallClock;
    uint64_t m_frameTime = 0;
    uint32_t m_lastTimeStamp = 0;
    uint64_t m_correction = 0;
    TStatisticsHelper<unsigned int> m_timeStampSteps{1000};
    TStatisticsHelper<unsigned int> m_wallClockSteps{1000};
    uint64_t m_lastWallClock = 0;
};

}  // namespace korvane
