#include "IOCommands.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "CommandSupport.h"
#include "HeapFrames.h"
#include "QueriedCamera.h"

namespace tallowcam_host {

namespace {

using namespace korvane;
using namespace korvane::ipcapture;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kMotionFourCC = 0x444D454D;  // "MEMD"
// Output commands run on the driver's worker thread and stopping its I/O
// discards what has not been sent yet, so the command is given this long.
constexpr uint32_t kOutputSettleMs = 1000;

struct EventsOptions {
    std::string plugin = DefaultPluginPath();
    CameraConnection camera;
    double seconds = 0;  // 0: until interrupted
};

struct OutputOptions {
    std::string plugin = DefaultPluginPath();
    CameraConnection camera;
    uint32_t index = 0;
    bool on = false;
};

// Queries the camera and opens the driver with what it offers; which of its
// inputs and outputs the driver is told about is up to the command.
bool OpenCamera(const std::string& pluginPath, const CameraConnection& connection, bool withInputs,
                bool withOutputs, QueriedCamera& camera, std::string& error)
{
    if (!camera.Query(pluginPath, connection, error))
        return false;
    CameraSettings settings = camera.Settings();
    if (!withInputs)
        settings.inputCount = 0;
    if (!withOutputs)
        settings.outputCount = 0;
    return camera.Open(settings, error);
}

// Prints the motion frames and input changes with the time since the start;
// takes the stream's own frames without printing them.
class EventPrinter final : public IFrameSink, public IIOEventSink {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    bool OnFrame(IHostFrame* frame) override
    {
        const HeapFrame& heapFrame = HeapFrame::Of(frame);
        if (heapFrame.FourCC() == kMotionFourCC && heapFrame.DataSize() >= 2)
            Print(heapFrame.Data()[1] != 0 ? "motion on" : "motion off");
        return true;
    }
    void OnSignalLost() override { Print("signal lost"); }
    void OnInputChanged(uint32_t index, uint32_t state) override
    {
        Print("input " + std::to_string(index) + (state == kIOStateOn ? " on" : " off"));
    }
    void OnIOError() override { Print("I/O error"); }

private:
    void Print(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(m_mutex);  // the driver reports on several threads
        std::printf("%7.1f s  %s\n", std::chrono::duration<double>(Clock::now() - m_start).count(), line.c_str());
        std::fflush(stdout);
    }

    std::mutex m_mutex;
    const Clock::time_point m_start = Clock::now();
};

// Remembers whether the camera failed an output command.
class OutputErrorSink final : public IIOEventSink {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    void OnInputChanged(uint32_t, uint32_t) override {}
    void OnIOError() override { m_failed = true; }
    bool Failed() const { return m_failed; }

private:
    std::atomic<bool> m_failed{false};
};

int RunEvents(const EventsOptions& options)
{
    QueriedCamera camera;
    std::string error;
    // Outputs stay unknown to the driver: starting its I/O would switch them off.
    if (!OpenCamera(options.plugin, options.camera, true, false, camera, error))
        return Fail(error);
    DriverSession& session = camera.Session();

    EventPrinter printer;
    ICaptureIOApi* io = session.IOApi();
    const bool watchInputs = io != nullptr && io->GetInputCount() > 0;
    if (watchInputs && !(io->SetEventSink(&printer) && io->StartIO()))
        return Fail("the driver did not start watching the inputs");
    StreamSettings stream;
    stream.codec = camera.Report().Offers(8) ? kCodecH264 : kCodecMotionJpeg;
    stream.framesPerSecond = 1;
    if (!session.StartMotionDetection(printer, stream)) {
        if (watchInputs)
            io->StopIO();
        return Fail("the driver did not start motion detection");
    }
    std::printf("Watching motion and %u input(s) of %s (%s)\n", watchInputs ? io->GetInputCount() : 0,
                options.camera.address.c_str(), camera.Report().deviceName.c_str());
    std::fflush(stdout);

    InstallInterruptHandler();
    const Clock::time_point start = Clock::now();
    const auto until = start + std::chrono::duration<double>(options.seconds);
    while (!InterruptRequested().load() && (options.seconds <= 0 || Clock::now() < until))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));

    session.StopMotionDetection();
    if (watchInputs)
        io->StopIO();
    session.Close();
    return 0;
}

int RunOutput(const OutputOptions& options)
{
    QueriedCamera camera;
    std::string error;
    if (!OpenCamera(options.plugin, options.camera, false, true, camera, error))
        return Fail(error);
    DriverSession& session = camera.Session();
    ICaptureIOApi* io = session.IOApi();
    const uint32_t outputs = io != nullptr ? io->GetOutputCount() : 0;
    if (options.index >= outputs)
        return Fail("output " + std::to_string(options.index) + " does not exist: the camera has " +
                    std::to_string(outputs) + " output(s)");

    OutputErrorSink errors;
    io->SetEventSink(&errors);
    if (!io->StartIO())
        return Fail("the driver did not start its I/O");
    const bool queued = io->SetOutputState(options.index, options.on ? kIOStateOn : kIOStateOff);
    std::this_thread::sleep_for(std::chrono::milliseconds(kOutputSettleMs));
    io->StopIO();
    session.Close();
    if (!queued || errors.Failed())
        return Fail("the camera did not take the output command");
    std::printf("output %u %s\n", options.index, options.on ? "on" : "off");
    return 0;
}

}  // namespace

void AddEventsCommand(CLI::App& app)
{
    auto options = std::make_shared<EventsOptions>();
    CLI::App* events = app.add_subcommand("events", "Print motion and input changes as the driver reports them");
    AddCameraOptions(*events, options->camera);
    events->add_option("--seconds", options->seconds, "Seconds to watch (default: until interrupted)")
        ->check(CLI::NonNegativeNumber);
    AddPluginOption(*events, options->plugin);
    RunOnCallback(*events, RunEvents, options);
}

void AddOutputCommand(CLI::App& app)
{
    auto options = std::make_shared<OutputOptions>();
    CLI::App* output = app.add_subcommand(
        "output", "Switch one output through the driver (which first switches every output off)");
    AddCameraOptions(*output, options->camera);
    output->add_option("index", options->index, "Output index, from 0")->required();
    output->add_option("state", options->on, "on or off")
        ->required()
        ->transform(CLI::CheckedTransformer(std::map<std::string, bool>{{"on", true}, {"off", false}}));
    AddPluginOption(*output, options->plugin);
    RunOnCallback(*output, RunOutput, options);
}

}  // namespace tallowcam_host
