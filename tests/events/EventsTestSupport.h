#pragma once
// Host objects that record what the motion channel and the I/O object report,
// and scenarios run side by side (the driver polls once a second or every two
// seconds, so waiting scenarios share their waiting time).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/CameraWithDriver.h"
#include "support/FrameHost.h"
#include "support/WaitUntil.h"
#include "tallowcam/IOInterfaces.h"

namespace korvane::test {

constexpr char kAreasPoll[] = "/-wvhttp-01-/info.cgi?item=r";
constexpr char kInputsPoll[] = "/-wvhttp-01-/info.cgi?item=i";
constexpr char kOutputCommand[] = "/-wvhttp-01-/control.cgi?o.";

struct MotionReport {
    bool motion;
    std::chrono::steady_clock::time_point at;
};

// Frame sink of a motion channel: the frame host keeps the frames and counts
// the lost signals, this sink when each motion value arrived.
class MotionSink : public ipcapture::IFrameSink {
public:
    explicit MotionSink(CFrameHost& frames) : m_frames(frames) {}

    bool OnFrame(ipcapture::IHostFrame* frame) override
    {
        const bool motion = frame->GetDataSize() >= 2 && frame->GetBuffer()[1] == 1;
        const bool accepted = m_frames.OnFrame(frame);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (accepted)
            m_reports.push_back({motion, std::chrono::steady_clock::now()});
        return accepted;
    }
    void OnSignalLost() override { m_frames.OnSignalLost(); }

    std::vector<MotionReport> Reports() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reports;
    }
    std::vector<bool> Values() const
    {
        std::vector<bool> values;
        for (const MotionReport& report : Reports())
            values.push_back(report.motion);
        return values;
    }
    // The last value reported; false before the first.
    bool LastValue() const { return !Values().empty() && Values().back(); }
    size_t Count() const { return Reports().size(); }
    size_t SignalLostCount() const { return m_frames.SignalLostCount(); }

private:
    CFrameHost& m_frames;
    mutable std::mutex m_mutex;
    std::vector<MotionReport> m_reports;
};

// What the I/O object reports: "IOError" or an input change.
inline std::string InputChanged(uint32_t index, uint32_t state)
{
    return "Input(" + std::to_string(index) + ", " + std::to_string(state) + ")";
}

class RecordingIOSink : public ipcapture::IIOEventSink {
public:
    void OnInputChanged(uint32_t index, uint32_t state) override { Record(InputChanged(index, state)); }
    void OnIOError() override { Record("IOError"); }

    std::vector<std::string> Events() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    size_t Count() const { return Events().size(); }
    size_t ErrorCount() const
    {
        const std::vector<std::string> events = Events();
        return static_cast<size_t>(std::count(events.begin(), events.end(), "IOError"));
    }

private:
    void Record(const std::string& event)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(event);
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
};

// Runs every scenario on its own thread and waits for all of them.
inline void RunSideBySide(const std::vector<std::pair<std::string, std::function<void()>>>& scenarios)
{
    std::vector<std::thread> threads;
    for (const auto& [name, scenario] : scenarios) {
        threads.emplace_back([&name = name, &scenario = scenario] {
            SCOPED_TRACE(name);
            scenario();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
}

}  // namespace korvane::test
