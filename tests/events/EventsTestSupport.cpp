#include "events/EventsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <thread>

#include "support/WaitUntil.h"

namespace korvane::test {

bool MotionSink::OnFrame(ipcapture::IHostFrame* frame)
{
    const std::vector<uint8_t> bytes = static_cast<CRecordingFrame*>(frame)->Snapshot().bytes;
    const bool motion = bytes.size() >= 2 && bytes[1] == 1;
    const bool accepted = m_frames.OnFrame(frame);
    if (accepted) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports.push_back({motion, std::chrono::steady_clock::now()});
    }
    return accepted;
}

void MotionSink::OnSignalLost()
{
    m_frames.OnSignalLost();
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_signalLost;
}

std::vector<MotionReport> MotionSink::Reports() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reports;
}

std::vector<bool> MotionSink::Values() const
{
    std::vector<bool> values;
    for (const MotionReport& report : Reports())
        values.push_back(report.motion);
    return values;
}

bool MotionSink::LastValue() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_reports.empty() && m_reports.back().motion;
}

size_t MotionSink::Count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reports.size();
}

size_t MotionSink::SignalLostCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_signalLost;
}

IOEvent InputChanged(uint32_t index, uint32_t state)
{
    return {false, index, state};
}

IOEvent IOError()
{
    return {true, 0, 0};
}

std::ostream& operator<<(std::ostream& out, const IOEvent& event)
{
    if (event.error)
        return out << "IOError";
    return out << "Input(" << event.index << ", " << event.state << ")";
}

void RecordingIOSink::OnInputChanged(uint32_t index, uint32_t state)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back(InputChanged(index, state));
}

void RecordingIOSink::OnIOError()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back(IOError());
}

std::vector<IOEvent> RecordingIOSink::Events() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

size_t RecordingIOSink::Count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events.size();
}

size_t RecordingIOSink::ErrorCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<size_t>(std::count(m_events.begin(), m_events.end(), IOError()));
}

CameraWithDriver::CameraWithDriver(const camsim::CameraOptions& options) : camera(options) {}

CameraWithDriver::~CameraWithDriver()
{
    driver.Close();
}

bool CameraWithDriver::Open(uint32_t inputs, uint32_t outputs)
{
    if (!camera.Start())
        return false;
    params.deviceAddress.address = camera.DeviceInfo().address;
    params.deviceAddress.port = camera.HttpPort();
    params.captureInfo.inputCount = inputs;
    params.captureInfo.outputCount = outputs;
    return driver.Open(&logSink, &frames, &params);
}

std::vector<std::string> CameraWithDriver::Requests(const std::string& prefix)
{
    std::vector<std::string> selected;
    for (const std::string& target : camera.HttpRequests().Targets())
        if (target.rfind(prefix, 0) == 0)
            selected.push_back(target);
    return selected;
}

bool CameraWithDriver::WaitForRequests(const std::string& prefix, size_t count, uint32_t timeoutMs)
{
    return WaitUntil([&] { return RequestCount(prefix) >= count; }, timeoutMs);
}

void RunSideBySide(const std::vector<std::pair<std::string, std::function<void()>>>& scenarios)
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
