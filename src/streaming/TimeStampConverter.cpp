#include "streaming/TimeStampConverter.h"

#include <algorithm>

namespace korvane {

namespace {

constexpr size_t kLearningSamples = 100;          // steps taken on the nominal clock
constexpr uint64_t kNominalUnitsPerTick = 111;    // 90 kHz in 100-ns units
constexpr uint64_t kRestartStep = 10000000;       // one second
constexpr uint64_t kRepeatStep = 10000;           // 1 ms
constexpr uint64_t kCorrectionThreshold = 10000;  // 1 ms
constexpr uint64_t kCorrectedStepMinimum = 40000;
constexpr uint64_t kMaximumLead = 2500000;  // 250 ms

}  // namespace

void CTimeStampConverter::Reset()
{
    m_frameTime = 0;
    m_lastTimeStamp = 0;
    m_correction = 0;
    m_timeStampSteps.Clear();
    m_wallClockSteps.Clear();
    m_lastWallClock = 0;
}

void CTimeStampConverter::Restart(uint64_t now, uint32_t timeStamp)
{
    m_frameTime = now;
    m_correction = 0;
    m_lastWallClock = now;
    m_lastTimeStamp = timeStamp;
}

void CTimeStampConverter::Update(uint32_t timeStamp)
{
    const uint64_t now = m_wallClock();
    if (now == 0 || m_frameTime == 0 || m_lastTimeStamp == 0) {
        Restart(now, timeStamp);
        return;
    }

    bool forced = false;
    if (timeStamp <= m_lastTimeStamp) {
        // Repeated or wrapped time stamp.
        m_frameTime = std::max(m_frameTime + kRepeatStep, now);
        forced = true;
    } else {
        const uint32_t timeStampStep = timeStamp - m_lastTimeStamp;
        m_timeStampSteps.Add(timeStampStep);
        if (now >= m_lastWallClock)
            m_wallClockSteps.Add(static_cast<unsigned int>(now - m_lastWallClock));
        if (m_timeStampSteps.Count() <= kLearningSamples) {
            const uint64_t step = timeStampStep * kNominalUnitsPerTick;
            if (step >= kRestartStep) {
                Restart(now, timeStamp);
                return;
            }
            m_frameTime += step;
            forced = m_timeStampSteps.Count() == kLearningSamples;
        } else {
            m_frameTime += MeasuredStep(timeStampStep);
        }
    }

    if (now >= m_frameTime) {
        m_frameTime = now;
        m_correction = 0;
    } else if (forced || m_frameTime - now > kMaximumLead) {
        m_correction = m_frameTime - now;
    }
    m_lastWallClock = now;
    m_lastTimeStamp = timeStamp;
}

uint64_t CTimeStampConverter::MeasuredStep(uint32_t timeStampStep)
{
    const double unitsPerTick = m_wallClockSteps.Mean() / m_timeStampSteps.Mean();
    uint64_t step = static_cast<uint64_t>(timeStampStep * unitsPerTick + 0.5);
    if (m_correction > kCorrectionThreshold && step > kCorrectedStepMinimum) {
        const uint64_t adjustment =
            step / 10 < kCorrectionThreshold ? kCorrectionThreshold : std::min(m_correction, step / 10);
        step -= adjustment;
        m_correction -= adjustment;
    }
    return step;
}

void CTimeStampConverter::GetTime(SYSTEMTIME& out) const
{
    if (m_frameTime != 0 && m_lastTimeStamp != 0 && platform::FileTimeToSystemTime(m_frameTime, out))
        return;
    out = platform::UtcTimeNow();
}

}  // namespace korvane
