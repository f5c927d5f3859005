#pragma once
// One simulated camera with an opened driver, host objects that record what
// the motion channel and the I/O object report, and scenarios run side by
// side (the driver polls once a second or every two seconds, so waiting
// scenarios share their waiting time).
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "camsim/Camera.h"
#include "driver/plugin/TallowcamDriver.h"
#include "support/DriverHost.h"
#include "support/FrameHost.h"
#include "tallowcam/IOInterfaces.h"

namespace korvane::test {

constexpr uint32_t kEventWaitMs = 6000;  // above the input poll period and the request time-out

constexpr char kAreasPoll[] = "/-wvhttp-01-/info.cgi?item=r";
constexpr char kInputsPoll[] = "/-wvhttp-01-/info.cgi?item=i";
constexpr char kOutputCommand[] = "/-wvhttp-01-/control.cgi?o.";

struct MotionReport {
    bool motion;
    std::chrono::steady_clock::time_point at;
};

// Frame sink of a motion channel: keeps the frames (in the frame host) and
// when each motion value arrived.
class MotionSink : public ipcapture::IFrameSink {
public:
    explicit MotionSink(CFrameHost& frames) : m_frames(frames) {}

    bool OnFrame(ipcapture::IHostFrame* frame) override;
    void OnSignalLost() override;

    std::vector<MotionReport> Reports() const;
    std::vector<bool> Values() const;
    // The last value reported; false before the first.
    bool LastValue() const;
    size_t Count() const;
    size_t SignalLostCount() const;

private:
    CFrameHost& m_frames;
    mutable std::mutex m_mutex;
    std::vector<MotionReport> m_reports;
    size_t m_signalLost = 0;
};

struct IOEvent {
    bool error;  // OnIOError; otherwise OnInputChanged
    uint32_t index;
    uint32_t state;

    bool operator==(const IOEvent& other) const
    {
        return error == other.error && index == other.index && state == other.state;
    }
};

IOEvent InputChanged(uint32_t index, uint32_t state);
IOEvent IOError();
std::ostream& operator<<(std::ostream& out, const IOEvent& event);

class RecordingIOSink : public ipcapture::IIOEventSink {
public:
    void OnInputChanged(uint32_t index, uint32_t state) override;
    void OnIOError() override;

    std::vector<IOEvent> Events() const;
    size_t Count() const;
    size_t ErrorCount() const;

private:
    mutable std::mutex m_mutex;
    std::vector<IOEvent> m_events;
};

class CameraWithDriver {
public:
    explicit CameraWithDriver(const camsim::CameraOptions& options = {});
    ~CameraWithDriver();

    // Starts the camera and opens the driver with these input and output counts.
    bool Open(uint32_t inputs = 0, uint32_t outputs = 0);

    // The requests the camera received whose target starts with prefix (clock
    // synchronisation and the like left out).
    std::vector<std::string> Requests(const std::string& prefix);
    size_t RequestCount(const std::string& prefix) { return Requests(prefix).size(); }
    bool WaitForRequests(const std::string& prefix, size_t count, uint32_t timeoutMs = kEventWaitMs);

    camsim::Camera camera;
    RecordingLogSink logSink;
    CFrameHost frames;
    SettableDriverParams params;
    CTallowcamDriver driver;
};

// Runs every scenario on its own thread and waits for all of them.
void RunSideBySide(const std::vector<std::pair<std::string, std::function<void()>>>& scenarios);

}  // namespace korvane::test
