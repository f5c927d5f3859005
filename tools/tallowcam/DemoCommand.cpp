#include "DemoCommand.h"

#include <filesystem>
#include <memory>

#include "CommandSupport.h"
#include "QueriedCamera.h"
#include "ReportPrinter.h"
#include "camsim/Camera.h"

namespace tallowcam_host {

namespace {

struct DemoOptions {
    std::string plugin = DefaultPluginPath();
    std::string address = "127.0.0.1";  // a loopback address for the simulated camera
    double seconds = 3;
    std::string outputDirectory;  // empty: count frames only
};

camsim::CameraOptions SimulatedCamera(const std::string& address)
{
    camsim::CameraOptions options;
    options.address = address;
    options.rtspPort = kCameraRtspPort;
    options.auth.user = "root";
    options.auth.password = "tallowcam-demo";
    options.auth.schemes = {camsim::AuthScheme::Digest};
    return options;
}

std::string OutputPath(const DemoOptions& options, const char* fileName)
{
    if (options.outputDirectory.empty())
        return {};
    const bool slash = options.outputDirectory.back() == '/';
    return options.outputDirectory + (slash ? "" : "/") + fileName;
}

int RunDemo(const DemoOptions& options)
{
    std::error_code directoryError;
    if (!options.outputDirectory.empty() &&
        !std::filesystem::create_directories(options.outputDirectory, directoryError) && directoryError)
        return Fail("cannot create " + options.outputDirectory + ": " + directoryError.message());

    const camsim::CameraOptions cameraOptions = SimulatedCamera(options.address);
    camsim::Camera camera(cameraOptions);
    if (!camera.Start())
        return Fail("the simulated camera did not start on " + cameraOptions.address + " (it needs RTSP port " +
                    std::to_string(kCameraRtspPort) + ": is another program using it? Try --address 127.0.0.2)");
    const CameraConnection connection{cameraOptions.address, camera.HttpPort(), cameraOptions.auth.user,
                                      cameraOptions.auth.password};
    std::printf("Simulated camera %s on %s:%u\n\n", cameraOptions.model.model.c_str(), connection.address.c_str(),
                static_cast<unsigned>(connection.port));

    std::printf("== Capability query\n");
    QueriedCamera queried;
    std::string error;
    if (!queried.Query(options.plugin, connection, error))
        return Fail(error);
    PrintReport(queried.Report(), stdout);
    std::fflush(stdout);
    if (!queried.Open(error))
        return Fail(error);
    DriverSession& session = queried.Session();

    struct Recording {
        const char* title;
        uint32_t codec;
        const char* fileName;
    };
    const Recording recordings[] = {{"H.264 recording", kCodecH264, "demo.h264"},
                                    {"Motion JPEG recording", kCodecMotionJpeg, "demo.mjpeg"}};
    bool allOk = true;
    for (const Recording& recording : recordings) {
        RecordingPlan plan;
        plan.stream.codec = recording.codec;
        plan.seconds = options.seconds;
        plan.outputPath = OutputPath(options, recording.fileName);
        std::printf("\n== %s, %.1f s\n", recording.title, options.seconds);
        std::fflush(stdout);
        const RecordingResult result = session.Record(plan, PrintProgress);
        EndProgress();
        PrintRecordingSummary(recording.title, result, stdout);
        if (!plan.outputPath.empty() && result.ok)
            std::printf("  file:           %s\n", plan.outputPath.c_str());
        allOk = allOk && result.ok;
    }
    session.Close();
    std::printf("\nFrames still held by the driver: %lld\n", static_cast<long long>(session.OutstandingFrames()));
    if (!allOk)
        return Fail("the demo did not record both streams; see the summaries above");
    std::printf("Demo finished: both streams recorded\n");
    return 0;
}

}  // namespace

void AddDemoCommand(CLI::App& app)
{
    auto options = std::make_shared<DemoOptions>();
    CLI::App* demo = app.add_subcommand("demo", "Probe and record the built-in simulated camera");
    demo->add_option("--seconds", options->seconds, "Seconds of each recording")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    demo->add_option("--address", options->address, "Loopback address of the simulated camera")
        ->capture_default_str();
    demo->add_option("--out-dir", options->outputDirectory, "Also write demo.h264 and demo.mjpeg here");
    AddPluginOption(*demo, options->plugin);
    RunOnCallback(*demo, RunDemo, options);
}

}  // namespace tallowcam_host
