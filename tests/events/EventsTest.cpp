// Motion detection and digital inputs and outputs through the driver against
// the simulated camera. The driver polls once a second or every two seconds, so
// the scenarios run side by side and share their waiting time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "events/CanonMotionChannel.h"
#include "events/DigitalIO.h"
#include "support/CameraWithDriver.h"
#include "support/FakeDriver.h"
#include "support/FrameHost.h"
#include "support/WaitUntil.h"
#include "tallowcam/IOInterfaces.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kAreasPoll[] = "/-wvhttp-01-/info.cgi?item=r";
constexpr char kInputsPoll[] = "/-wvhttp-01-/info.cgi?item=i";
constexpr char kOutputCommand[] = "/-wvhttp-01-/control.cgi?o.";

// What the host hears: a motion value, an input change or an I/O error.
const std::string kMotion = "Motion";
const std::string kStill = "Still";
const std::string kIOError = "IOError";

std::string InputChanged(uint32_t index, uint32_t state)
{
    return "Input(" + std::to_string(index) + ", " + std::to_string(state) + ")";
}

struct Report {
    std::string event;
    Clock::time_point at;
};

// The host's sink for a motion channel and an I/O object: what they reported
// and when. The frame host keeps the motion frames and counts the lost signals.
class RecordingSink final : public ipcapture::IFrameSink, public ipcapture::IIOEventSink {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    explicit RecordingSink(CFrameHost& frames) : m_frames(frames) {}

    bool OnFrame(ipcapture::IHostFrame* frame) override
    {
        const std::vector<uint8_t> bytes = static_cast<CRecordingFrame*>(frame)->Snapshot().bytes;
        const bool accepted = m_frames.OnFrame(frame);
        if (accepted)
            Record(bytes.size() >= 2 && bytes[1] == 1 ? kMotion : kStill);
        return accepted;
    }
    void OnSignalLost() override { m_frames.OnSignalLost(); }
    void OnInputChanged(uint32_t index, uint32_t state) override { Record(InputChanged(index, state)); }
    void OnIOError() override { Record(kIOError); }

    std::vector<Report> Reports() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reports;
    }
    std::vector<std::string> Events() const
    {
        std::vector<std::string> events;
        for (const Report& report : Reports())
            events.push_back(report.event);
        return events;
    }
    size_t Count(const std::string& event) const
    {
        const std::vector<std::string> events = Events();
        return static_cast<size_t>(std::count(events.begin(), events.end(), event));
    }

private:
    void Record(const std::string& event)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports.push_back({event, Clock::now()});
    }

    CFrameHost& m_frames;
    mutable std::mutex m_mutex;
    std::vector<Report> m_reports;
};

// Runs every scenario on its own thread and waits for all of them.
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

constexpr uint32_t kFirstPairMs = 3000;

// The driver's motion channel and I/O object on one simulated camera.
class EventsCamera : public CameraWithDriver {
public:
    explicit EventsCamera(const camsim::CameraOptions& options = {}) : CameraWithDriver(options) {}
    ~EventsCamera()
    {
        Stop();
        if (io != nullptr)
            io->StopIO();
    }

    // Opens the driver and starts the channel with these areas on the camera.
    bool Start(const std::vector<camsim::MotionArea>& areas)
    {
        camera.Events().SetMotionAreas(areas);
        return Open() && StartChannel();
    }
    bool StartChannel()
    {
        channel.reset(driver.CreateMotionChannel(0, &sink));
        return channel != nullptr && channel->Start();
    }
    void Stop()
    {
        if (channel != nullptr)
            channel->Stop();
    }
    bool WaitForReports(size_t count, uint32_t timeoutMs = kCameraWaitMs)
    {
        return WaitUntil([&] { return sink.Reports().size() >= count; }, timeoutMs);
    }
    // Waits until the channel has asked the camera count more times.
    bool WaitForPolls(size_t count) { return WaitForRequests(kAreasPoll, RequestCount(kAreasPoll) + count); }

    // Opens the driver with these inputs and outputs and takes its I/O object.
    bool OpenIO(uint32_t inputs, uint32_t outputs)
    {
        io = Open(inputs, outputs) ? driver.GetIOApi() : nullptr;
        return io != nullptr && io->SetEventSink(&sink);
    }

    RecordingSink sink{frames};
    std::unique_ptr<IMotionChannel> channel;
    ICaptureIOApi* io = nullptr;
};

void TheVideoCaptureStartsAndStopsMotionDetectionWithItsChannel()
{
    camsim::CameraOptions options;
    options.address = "127.0.0.61";  // nothing streams on its port 554: only motion frames come
    EventsCamera camera(options);
    camera.camera.Events().SetMotionAreas({{1, true}});
    ASSERT_TRUE(camera.Open());
    SettableStreamRequest request;
    request.rate.motionDetection = 1;
    ipcapture::IIPVideoCaptureEx2* video = camera.driver.GetVideoCaptureEx2();
    ASSERT_TRUE(video->StartChannel(0, &camera.sink, &request));
    ASSERT_TRUE(camera.WaitForReports(2, kFirstPairMs));
    EXPECT_THAT(camera.sink.Events(), ElementsAre(kStill, kMotion));
    EXPECT_TRUE(video->StopChannel(0));
    EXPECT_EQ(camera.frames.OutstandingFrames(), 0u);
}

// The first poll sends the opposite value, then the value.
void FirstPollAndTypeTwoAreasAndRepliesWithoutACount()
{
    EventsCamera camera;
    ASSERT_TRUE(camera.Start({{2, true}, {1, false}}));
    ASSERT_TRUE(camera.WaitForReports(2, kFirstPairMs));
    EXPECT_TRUE(camera.channel->IsConnected());
    EXPECT_THAT(camera.sink.Events(), ElementsAre(kMotion, kStill)) << "an active area of type 2 is no motion";
    const std::vector<DeliveredFrame> frames = camera.frames.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_THAT(frames[0].bytes, ElementsAre(0x01, 0x01));
    EXPECT_THAT(frames[1].bytes, ElementsAre(0x01, 0x00));
    for (const DeliveredFrame& frame : frames) {
        EXPECT_EQ(std::tie(frame.fourCC, frame.streamName, frame.width, frame.height, frame.sizeClass),
                  std::make_tuple(0x444D454Du, "CBaseMotionChannel", 320u, 240u, 2u));  // "MEMD"
        EXPECT_THAT(frame.calls, ElementsAre("SetDataSize", "SetWidth", "SetHeight", "SetSizeClass", "Commit"));
    }
    EXPECT_EQ(camera.frames.LastAllocationSize(), 1024u);

    camera.camera.Events().SetMotionActive(2, true);
    ASSERT_TRUE(camera.WaitForReports(3));
    EXPECT_EQ(camera.sink.Events().back(), kMotion);

    camera.camera.Events().RemoveMotionAreaCount();
    camera.camera.Events().SetMotionActive(2, false);
    ASSERT_TRUE(camera.WaitForPolls(2));
    EXPECT_EQ(camera.sink.Reports().size(), 3u) << "without r.count the previous areas still hold";
    camera.Stop();
    EXPECT_EQ(camera.frames.OutstandingFrames(), 0u);
    EXPECT_EQ(camera.frames.SignalLostCount(), 0u);
}

void ChangesComeAtMostOnceASecond()
{
    EventsCamera camera;
    ASSERT_TRUE(camera.Start({{1, false}}));
    ASSERT_TRUE(camera.WaitForReports(2, kFirstPairMs));

    // A pulse between two polls is never seen. The camera logs a poll before it
    // answers it, so the pulse starts once that poll has surely been answered.
    ASSERT_TRUE(camera.WaitForPolls(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    camera.camera.Events().SetMotionActive(1, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    camera.camera.Events().SetMotionActive(1, false);
    ASSERT_TRUE(camera.WaitForPolls(1));
    EXPECT_EQ(camera.sink.Reports().size(), 2u);

    // The camera changing faster than the driver reports.
    const auto until = Clock::now() + std::chrono::milliseconds(2600);
    for (bool active = true; Clock::now() < until; active = !active) {
        camera.camera.Events().SetMotionActive(1, active);
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
    }
    camera.camera.Events().SetMotionActive(1, true);
    ASSERT_TRUE(WaitUntil([&] { return camera.sink.Events().back() == kMotion; }, kCameraWaitMs))
        << "a change that holds comes";

    const std::vector<Report> reports = camera.sink.Reports();
    for (size_t i = 2; i < reports.size(); ++i) {
        EXPECT_GE(reports[i].at - reports[i - 1].at, std::chrono::milliseconds(990)) << "report " << i;
        EXPECT_NE(reports[i].event, reports[i - 1].event) << "report " << i;
    }
}

void SignalIsLostOnceAfterTheSecondTimeOutAndTheNextValueIsAnEdge()
{
    EventsCamera camera;
    camera.camera.Events().SetMotionAreas({{1, true}});
    ASSERT_TRUE(camera.Open());
    camera.driver.GetDeviceInfo()->secondTimeoutMs = 1500;
    ASSERT_TRUE(camera.StartChannel());
    ASSERT_TRUE(camera.WaitForReports(2, kFirstPairMs));

    camera.camera.Http().SetFault(camsim::HttpFault::ServerError);
    ASSERT_TRUE(WaitUntil([&] { return camera.frames.SignalLostCount() == 1; }, kCameraWaitMs));
    EXPECT_FALSE(camera.channel->IsConnected());
    ASSERT_TRUE(camera.WaitForPolls(1));
    EXPECT_EQ(camera.frames.SignalLostCount(), 1u);

    camera.camera.Http().SetFault(camsim::HttpFault::None);
    ASSERT_TRUE(camera.WaitForReports(4));
    EXPECT_THAT(camera.sink.Events(), ElementsAre(kStill, kMotion, kStill, kMotion));
    EXPECT_TRUE(camera.channel->IsConnected());
}

// A stop ends polls that wait for the camera: those of the motion channel and of the inputs alone would
// last the request time-out.
void StopsOutputsAndIdleIO()
{
    EventsCamera camera;
    ASSERT_TRUE(camera.OpenIO(2, 0));
    camera.camera.Http().SetFault(camsim::HttpFault::NeverReply);
    ASSERT_TRUE(camera.StartChannel());
    ASSERT_TRUE(camera.io->StartIO());
    ASSERT_TRUE(camera.WaitForRequests(kAreasPoll, 1));
    ASSERT_TRUE(camera.WaitForRequests(kInputsPoll, 1));

    const uint64_t bound = camera.driver.GetDeviceInfo()->requestTimeoutMs / 2;
    EXPECT_LT(TimedMs([&] { camera.channel->Stop(); }), bound);
    EXPECT_LT(TimedMs([&] { EXPECT_TRUE(camera.io->StopIO()); }), bound);
    EXPECT_THAT(camera.sink.Events(), IsEmpty()) << "a poll ended by the stop is no camera failure";

    // Outputs are switched off at start and written only when the state changes.
    EventsCamera outputs;
    ASSERT_TRUE(outputs.OpenIO(0, 2));
    outputs.camera.Model().SetInfo("o.1", "1");
    EXPECT_TRUE(outputs.io->SetOutputState(2, kIOStateOn)) << "queued before StartIO, skipped: no such output";
    EXPECT_FALSE(outputs.io->SetEventSink(nullptr));
    EXPECT_EQ(std::make_pair(outputs.io->GetOutputCount(), outputs.io->GetInputCount()), std::make_pair(2u, 0u));

    ASSERT_TRUE(outputs.io->StartIO());
    ASSERT_TRUE(outputs.WaitForRequests(kOutputCommand, 2));
    EXPECT_EQ(outputs.camera.Events().Output(1), "0");

    // Output 2 is queued, and skipped: the camera has two outputs.
    const std::pair<uint32_t, uint32_t> commands[] = {{0, kIOStateOn},  {0, kIOStateOn}, {1, kIOStateOff},
                                                      {0, kIOStateOff}, {1, kIOStateOn}, {2, kIOStateOn}};
    for (const auto& [output, state] : commands)
        EXPECT_TRUE(outputs.io->SetOutputState(output, state)) << output;
    ASSERT_TRUE(outputs.WaitForRequests(kOutputCommand, 5));
    EXPECT_THAT(outputs.Requests(kOutputCommand),
                ElementsAre("/-wvhttp-01-/control.cgi?o.1=0", "/-wvhttp-01-/control.cgi?o.2=0",
                            "/-wvhttp-01-/control.cgi?o.1=1", "/-wvhttp-01-/control.cgi?o.1=0",
                            "/-wvhttp-01-/control.cgi?o.2=1"));
    EXPECT_EQ(outputs.camera.Events().Output(2), "1");
    EXPECT_EQ(outputs.sink.Reports().size(), 0u);
    EXPECT_EQ(outputs.RequestCount(kInputsPoll), 0u) << "no input thread without inputs";

    ASSERT_TRUE(outputs.io->StopIO());
    EXPECT_FALSE(outputs.io->SetOutputState(0, kIOStateOn));

    // Without inputs or outputs nothing runs.
    EventsCamera idle;
    ASSERT_TRUE(idle.OpenIO(0, 0));
    ASSERT_TRUE(idle.io->StartIO());
    EXPECT_TRUE(idle.io->SetOutputState(0, kIOStateOn)) << "queued, but no output thread carries it out";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(idle.RequestCount(kInputsPoll), 0u);
    EXPECT_EQ(idle.RequestCount(kOutputCommand), 0u);
    EXPECT_TRUE(idle.io->StopIO());
}

// A failed poll is reported, then every input; later polls report changes only.
void AFailedPollThenEveryInputThenOnlyChanges()
{
    EventsCamera camera;
    camera.camera.Events().SetInput(1, "01");
    camera.camera.Events().SetInput(2, "0");
    ASSERT_TRUE(camera.OpenIO(2, 0));
    camera.camera.Http().SetFault(camsim::HttpFault::ServerError);
    ASSERT_TRUE(camera.io->StartIO());
    ASSERT_TRUE(camera.WaitForReports(1));
    camera.camera.Http().SetFault(camsim::HttpFault::None);
    ASSERT_TRUE(camera.WaitForReports(3));
    EXPECT_THAT(camera.sink.Events(), ElementsAre(kIOError, InputChanged(0, kIOStateOn), InputChanged(1, kIOStateOff)));

    camera.camera.Events().SetInput(2, "1");
    ASSERT_TRUE(camera.WaitForReports(4));
    ASSERT_TRUE(camera.WaitForRequests(kInputsPoll, 3));
    EXPECT_THAT(camera.sink.Events(), ElementsAre(kIOError, InputChanged(0, kIOStateOn), InputChanged(1, kIOStateOff),
                                                  InputChanged(1, kIOStateOn)));
}

void AnOutputFailureMakesTheNextPollReportEveryInput()
{
    EventsCamera camera;
    ASSERT_TRUE(camera.OpenIO(2, 1));
    ASSERT_TRUE(camera.io->StartIO());
    ASSERT_TRUE(camera.WaitForReports(2));
    ASSERT_TRUE(camera.WaitForRequests(kOutputCommand, 1));

    camera.camera.Http().SetFault(camsim::HttpFault::ServerError);
    ASSERT_TRUE(camera.io->SetOutputState(0, kIOStateOn));
    ASSERT_TRUE(camera.WaitForReports(3));
    camera.camera.Http().SetFault(camsim::HttpFault::None);
    ASSERT_TRUE(camera.WaitForReports(5));
    EXPECT_THAT(camera.sink.Events(), ElementsAre(InputChanged(0, kIOStateOff), InputChanged(1, kIOStateOff), kIOError,
                                                  InputChanged(0, kIOStateOff), InputChanged(1, kIOStateOff)));

    // The reset forgot the output's state too: the same command is written again.
    ASSERT_TRUE(camera.io->SetOutputState(0, kIOStateOn));
    ASSERT_TRUE(camera.WaitForRequests(kOutputCommand, 3));
    EXPECT_EQ(camera.camera.Events().Output(1), "1");
}

// The failure lines are debug lines, which the host never sees: a component
// driver records them.
class LoggedIO {
public:
    explicit LoggedIO(uint32_t inputs, uint32_t outputs)
    {
        camera.Start();
        const DEVICE_INFO device = camera.DeviceInfo();
        driver.SetCamera(device.address, device.port);
        driver.inputCount = inputs;
        driver.outputCount = outputs;
        io = std::make_unique<CDigitalIO>(&driver);
        io->SetEventSink(&sink);
    }
    bool WaitForErrors(size_t count) { return WaitUntil([&] { return sink.Count(kIOError) == count; }, kCameraWaitMs); }
    std::string Device() const { return driver.deviceInfo.address + ":" + std::to_string(driver.deviceInfo.port); }

    camsim::Camera camera;
    FakeDriver driver;
    CFrameHost frames;
    RecordingSink sink{frames};
    std::unique_ptr<CDigitalIO> io;
};

void OneFailureLinePerStreakOfFailedPollsOrCommands()
{
    LoggedIO setup(1, 0);
    setup.camera.Http().SetFault(camsim::HttpFault::ServerError);
    ASSERT_TRUE(setup.io->StartIO());
    ASSERT_TRUE(WaitUntil([&] { return setup.sink.Count(kIOError) >= 2; }, kCameraWaitMs));
    EXPECT_EQ(setup.driver.CountLinesContaining(
                  "korvane::CIOBase::GetInputStatesWrapper: GetInputStates() method failed! Device " + setup.Device()),
              1u);
    setup.io->StopIO();

    // One output failure line per streak of failed commands.
    LoggedIO outputs(0, 1);
    const std::string line = "korvane::CIOBase::SetOutputStateWrapper: Unable to change output state for device " +
                             outputs.Device() + " (output index 0)";
    outputs.camera.Http().SetFault(camsim::HttpFault::ServerError);
    ASSERT_TRUE(outputs.io->StartIO());  // its "off" command fails
    ASSERT_TRUE(outputs.WaitForErrors(1));
    ASSERT_TRUE(outputs.io->SetOutputState(0, kIOStateOn));
    ASSERT_TRUE(outputs.WaitForErrors(2));
    EXPECT_EQ(outputs.driver.CountLinesContaining(line), 1u);

    outputs.camera.Http().SetFault(camsim::HttpFault::None);
    ASSERT_TRUE(outputs.io->SetOutputState(0, kIOStateOff));
    ASSERT_TRUE(WaitUntil([&] { return outputs.camera.HttpRequests().Count() >= 3; }, kCameraWaitMs));
    outputs.camera.Http().SetFault(camsim::HttpFault::ServerError);
    ASSERT_TRUE(outputs.io->SetOutputState(0, kIOStateOn));
    ASSERT_TRUE(outputs.WaitForErrors(3));
    EXPECT_EQ(outputs.driver.CountLinesContaining(line), 2u) << "a success ends the streak";
    for (const LogLine& logged : outputs.driver.Lines())
        EXPECT_EQ(logged.level, kLogDebug) << logged.text;
    outputs.io->StopIO();
}

TEST(Events, TheAreaListAsTheRepliesChangeItThenTheScenariosSideBySide)
{
    std::vector<CCanonMotionChannel::DetectionArea> areas;
    CCanonMotionChannel::UpdateAreas("r.count:=2\r\nr.1:=1\r\nr.1.type:=1\r\nr.2:=1\r\nr.2.type:=0\r\n", areas);
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_TRUE(areas[0].active);
    EXPECT_FALSE(areas[1].active) << "an area of another type is never active";
    EXPECT_TRUE(CCanonMotionChannel::HasMotion(areas));

    // Missing items keep what the area had.
    CCanonMotionChannel::UpdateAreas("r.count:=2\r\n", areas);
    EXPECT_TRUE(CCanonMotionChannel::HasMotion(areas));
    CCanonMotionChannel::UpdateAreas("r.count:=0\r\nr.1:=0\r\n", areas);
    EXPECT_TRUE(CCanonMotionChannel::HasMotion(areas));

    CCanonMotionChannel::UpdateAreas("r.count:=3\r\nr.1:=0\r\nr.3:=1\r\n", areas);
    ASSERT_EQ(areas.size(), 3u);
    EXPECT_EQ(areas[2].type, 0u) << "a new area starts with type 0";
    EXPECT_FALSE(CCanonMotionChannel::HasMotion(areas));

    // An absurd count is capped.
    CCanonMotionChannel::UpdateAreas("r.count:=4000000000\r\nr.1:=1\r\nr.1.type:=1\r\n", areas);
    EXPECT_EQ(areas.size(), CCanonMotionChannel::kMaxDetectionAreas);
    EXPECT_TRUE(CCanonMotionChannel::HasMotion(areas));

    RunSideBySide({
        {"video capture starts and stops detection", TheVideoCaptureStartsAndStopsMotionDetectionWithItsChannel},
        {"first poll, type 2 areas, replies without a count", FirstPollAndTypeTwoAreasAndRepliesWithoutACount},
        {"changes at most once a second", ChangesComeAtMostOnceASecond},
        {"signal lost after the second time-out", SignalIsLostOnceAfterTheSecondTimeOutAndTheNextValueIsAnEdge},
        {"a stop ends waiting polls; outputs; idle I/O", StopsOutputsAndIdleIO},
        {"a failed poll, every input, then changes", AFailedPollThenEveryInputThenOnlyChanges},
        {"every input after an output failure", AnOutputFailureMakesTheNextPollReportEveryInput},
        {"one line per streak of failed polls or commands", OneFailureLinePerStreakOfFailedPollsOrCommands},
    });
}

}  // namespace
}  // namespace korvane::test
