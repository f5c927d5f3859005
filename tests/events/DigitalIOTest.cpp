// Digital inputs and outputs through the driver against the simulated camera.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "events/DigitalIO.h"
#include "events/EventsTestSupport.h"
#include "support/FakeDriver.h"
#include "support/WaitUntil.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;
using Clock = std::chrono::steady_clock;

// The driver's I/O object on one simulated camera (two inputs, two outputs).
class IOCamera : public CameraWithDriver {
public:
    ~IOCamera()
    {
        if (io != nullptr)
            io->StopIO();
    }

    bool Open(uint32_t inputs = 2, uint32_t outputs = 2)
    {
        if (!CameraWithDriver::Open(inputs, outputs))
            return false;
        io = driver.GetIOApi();
        return io != nullptr && io->SetEventSink(&sink);
    }
    bool WaitForEvents(size_t count) { return WaitUntil([&] { return sink.Count() >= count; }, kEventWaitMs); }

    RecordingIOSink sink;
    ICaptureIOApi* io = nullptr;
};

TEST(DigitalOutputs, AreSwitchedOffAtStartAndWrittenOnlyWhenTheStateChanges)
{
    IOCamera camera;
    ASSERT_TRUE(camera.Open(0, 2));
    camera.camera.Model().SetInfo("o.1", "1");
    EXPECT_TRUE(camera.io->SetOutputState(2, kIOStateOn)) << "queued before StartIO, skipped: no such output";
    EXPECT_FALSE(camera.io->SetEventSink(nullptr));
    EXPECT_EQ(camera.io->GetOutputCount(), 2u);
    EXPECT_EQ(camera.io->GetInputCount(), 0u);

    ASSERT_TRUE(camera.io->StartIO());
    ASSERT_TRUE(camera.WaitForRequests(kOutputCommand, 2));
    EXPECT_EQ(camera.camera.Events().Output(1), "0");

    EXPECT_TRUE(camera.io->SetOutputState(0, kIOStateOn));
    EXPECT_TRUE(camera.io->SetOutputState(0, kIOStateOn));
    EXPECT_TRUE(camera.io->SetOutputState(1, kIOStateOff));
    EXPECT_TRUE(camera.io->SetOutputState(0, kIOStateOff));
    EXPECT_TRUE(camera.io->SetOutputState(1, kIOStateOn));
    EXPECT_TRUE(camera.io->SetOutputState(2, kIOStateOn)) << "queued, and skipped: the camera has two outputs";
    ASSERT_TRUE(camera.WaitForRequests(kOutputCommand, 5));
    EXPECT_THAT(camera.Requests(kOutputCommand),
                ElementsAre("/-wvhttp-01-/control.cgi?o.1=0", "/-wvhttp-01-/control.cgi?o.2=0",
                            "/-wvhttp-01-/control.cgi?o.1=1", "/-wvhttp-01-/control.cgi?o.1=0",
                            "/-wvhttp-01-/control.cgi?o.2=1"));
    EXPECT_EQ(camera.camera.Events().Output(2), "1");
    EXPECT_EQ(camera.sink.Count(), 0u);
    EXPECT_EQ(camera.RequestCount(kInputsPoll), 0u) << "no input thread without inputs";

    ASSERT_TRUE(camera.io->StopIO());
    EXPECT_FALSE(camera.io->SetOutputState(0, kIOStateOn));
}

TEST(DigitalIO, WithoutInputsOrOutputsNothingRuns)
{
    IOCamera camera;
    ASSERT_TRUE(camera.Open(0, 0));
    ASSERT_TRUE(camera.io->StartIO());
    EXPECT_TRUE(camera.io->SetOutputState(0, kIOStateOn)) << "queued, but no output thread carries it out";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(camera.RequestCount(kInputsPoll), 0u);
    EXPECT_EQ(camera.RequestCount(kOutputCommand), 0u);
    EXPECT_TRUE(camera.io->StopIO());
}

TEST(DigitalIO, StopEndsAPollThatWaitsForTheCamera)
{
    IOCamera camera;
    ASSERT_TRUE(camera.Open(2, 0));
    camera.camera.Http().SetFault(camsim::HttpFault::NeverReply);
    ASSERT_TRUE(camera.io->StartIO());
    ASSERT_TRUE(camera.WaitForRequests(kInputsPoll, 1));

    const auto start = Clock::now();
    EXPECT_TRUE(camera.io->StopIO());
    // The poll alone would last the request time-out.
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(camera.driver.GetDeviceInfo()->requestTimeoutMs / 2));
    EXPECT_EQ(camera.sink.Count(), 0u) << "a poll ended by the stop is no camera failure";
}

void InputsAreReportedOncePerChange()
{
    IOCamera camera;
    camera.camera.Events().SetInput(1, "01");
    camera.camera.Events().SetInput(2, "0");
    ASSERT_TRUE(camera.Open(2, 0));
    ASSERT_TRUE(camera.io->StartIO());
    ASSERT_TRUE(camera.WaitForEvents(2));
    EXPECT_THAT(camera.sink.Events(), ElementsAre(InputChanged(0, kIOStateOn), InputChanged(1, kIOStateOff)));

    camera.camera.Events().SetInput(2, "1");
    ASSERT_TRUE(camera.WaitForEvents(3));
    ASSERT_TRUE(camera.WaitForRequests(kInputsPoll, 2));
    EXPECT_THAT(camera.sink.Events(), ElementsAre(InputChanged(0, kIOStateOn), InputChanged(1, kIOStateOff),
                                                  InputChanged(1, kIOStateOn)));
}

void AnOutputFailureMakesTheNextPollReportEveryInput()
{
    IOCamera camera;
    ASSERT_TRUE(camera.Open(2, 1));
    ASSERT_TRUE(camera.io->StartIO());
    ASSERT_TRUE(camera.WaitForEvents(2));
    ASSERT_TRUE(camera.WaitForRequests(kOutputCommand, 1));

    camera.camera.Http().SetFault(camsim::HttpFault::ServerError);
    ASSERT_TRUE(camera.io->SetOutputState(0, kIOStateOn));
    ASSERT_TRUE(camera.WaitForEvents(3));
    camera.camera.Http().SetFault(camsim::HttpFault::None);
    ASSERT_TRUE(camera.WaitForEvents(5));
    EXPECT_THAT(camera.sink.Events(), ElementsAre(InputChanged(0, kIOStateOff), InputChanged(1, kIOStateOff), IOError(),
                                                  InputChanged(0, kIOStateOff), InputChanged(1, kIOStateOff)));

    // The reset forgot the output's state too: the same command is written again.
    ASSERT_TRUE(camera.io->SetOutputState(0, kIOStateOn));
    ASSERT_TRUE(camera.WaitForRequests(kOutputCommand, 3));
    EXPECT_EQ(camera.camera.Events().Output(1), "1");
}

void AFailedPollThenAGoodOneReportsTheErrorThenEveryInput()
{
    IOCamera camera;
    ASSERT_TRUE(camera.Open(2, 0));
    camera.camera.Http().SetFault(camsim::HttpFault::ServerError);
    ASSERT_TRUE(camera.io->StartIO());
    ASSERT_TRUE(camera.WaitForEvents(1));
    camera.camera.Http().SetFault(camsim::HttpFault::None);
    ASSERT_TRUE(camera.WaitForEvents(3));
    EXPECT_THAT(camera.sink.Events(),
                ElementsAre(IOError(), InputChanged(0, kIOStateOff), InputChanged(1, kIOStateOff)));
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

    camsim::Camera camera;
    FakeDriver driver;
    RecordingIOSink sink;
    std::unique_ptr<CDigitalIO> io;
};

void OneInputFailureLineForAStreakOfFailedPolls()
{
    LoggedIO setup(1, 0);
    setup.camera.Http().SetFault(camsim::HttpFault::ServerError);
    ASSERT_TRUE(setup.io->StartIO());
    ASSERT_TRUE(WaitUntil([&] { return setup.sink.ErrorCount() >= 2; }, kEventWaitMs));
    EXPECT_EQ(setup.driver.CountLinesContaining("korvane::CIOBase::GetInputStatesWrapper: GetInputStates() method failed! "
                                                "Device " + setup.driver.deviceInfo.address + ":" +
                                                std::to_string(setup.driver.deviceInfo.port)),
              1u);
    setup.io->StopIO();
}

TEST(DigitalInputs, PollingScenarios)
{
    RunSideBySide({
        {"once per change", InputsAreReportedOncePerChange},
        {"every input after an output failure", AnOutputFailureMakesTheNextPollReportEveryInput},
        {"a failed poll, then a good one", AFailedPollThenAGoodOneReportsTheErrorThenEveryInput},
        {"one line per streak of failed polls", OneInputFailureLineForAStreakOfFailedPolls},
    });
}

TEST(DigitalOutputs, OneFailureLinePerStreakOfFailedCommands)
{
    LoggedIO setup(0, 1);
    const std::string line = "korvane::CIOBase::SetOutputStateWrapper: Unable to change output state for device " +
                             setup.driver.deviceInfo.address + ":" + std::to_string(setup.driver.deviceInfo.port) +
                             " (output index 0)";
    setup.camera.Http().SetFault(camsim::HttpFault::ServerError);
    ASSERT_TRUE(setup.io->StartIO());  // its "off" command fails
    ASSERT_TRUE(WaitUntil([&] { return setup.sink.ErrorCount() == 1; }, kEventWaitMs));
    ASSERT_TRUE(setup.io->SetOutputState(0, kIOStateOn));
    ASSERT_TRUE(WaitUntil([&] { return setup.sink.ErrorCount() == 2; }, kEventWaitMs));
    EXPECT_EQ(setup.driver.CountLinesContaining(line), 1u);

    setup.camera.Http().SetFault(camsim::HttpFault::None);
    ASSERT_TRUE(setup.io->SetOutputState(0, kIOStateOff));
    ASSERT_TRUE(WaitUntil([&] { return setup.camera.HttpRequests().Count() >= 3; }, kEventWaitMs));
    setup.camera.Http().SetFault(camsim::HttpFault::ServerError);
    ASSERT_TRUE(setup.io->SetOutputState(0, kIOStateOn));
    ASSERT_TRUE(WaitUntil([&] { return setup.sink.ErrorCount() == 3; }, kEventWaitMs));
    EXPECT_EQ(setup.driver.CountLinesContaining(line), 2u) << "a success ends the streak";
    for (const LogLine& logged : setup.driver.Lines())
        EXPECT_EQ(logged.level, kLogDebug) << logged.text;
    setup.io->StopIO();
}

}  // namespace
}  // namespace korvane::test
