#include "RecordCommand.h"

#include <map>
#include <memory>
#include <optional>

#include "CommandSupport.h"
#include "QueriedCamera.h"
#include "TransportConfiguration.h"

namespace tallowcam_host {

namespace {

struct RecordOptions {
    std::string plugin = DefaultPluginPath();
    CameraConnection camera;
    RecordingPlan plan;
    std::optional<Transport> transport;  // unset: whatever the configuration file says
};

const char* CodecName(uint32_t codec)
{
    return codec == kCodecH264 ? "H.264" : "Motion JPEG";
}

// The capability id that says the main stream offers the codec.
uint32_t CodecCapability(uint32_t codec)
{
    return codec == kCodecH264 ? 8 : 7;
}

int RunRecord(RecordOptions options)
{
    QueriedCamera camera;
    std::string error;
    if (!camera.Query(options.plugin, options.camera, error))
        return Fail(error);
    const CapabilityReport& report = camera.Report();
    const uint32_t codec = options.plan.stream.codec;
    if (!report.Offers(CodecCapability(codec)))
        return Fail(std::string("unsupported codec: ") + report.deviceName + " does not offer " + CodecName(codec));

    TransportConfiguration configuration;
    if (options.transport.has_value() && !configuration.Apply(*options.transport, error))
        return Fail(error);

    if (!camera.Open(error))
        return Fail(error);
    DriverSession& session = camera.Session();
    InstallInterruptHandler();
    options.plan.interrupted = &InterruptRequested();
    std::printf("Recording %s from %s (%s) into %s\n", CodecName(codec), options.camera.address.c_str(),
                report.deviceName.c_str(), options.plan.outputPath.c_str());
    std::fflush(stdout);
    const RecordingResult result = session.Record(options.plan, PrintProgress);
    EndProgress();
    session.Close();
    PrintRecordingSummary(options.plan.outputPath, result, stdout);
    return result.ok ? 0 : Fail(result.error);
}

}  // namespace

void AddRecordCommand(CLI::App& app)
{
    auto options = std::make_shared<RecordOptions>();
    CLI::App* record = app.add_subcommand("record", "Record one stream into an Annex B .h264 or a .mjpeg file");
    AddCameraOptions(*record, options->camera);
    StreamSettings& stream = options->plan.stream;
    record->add_option("--codec", stream.codec, "Video codec")
        ->transform(CLI::CheckedTransformer(std::map<std::string, uint32_t>{{"h264", kCodecH264},
                                                                             {"jpeg", kCodecMotionJpeg}}))
        ->capture_default_str();
    record->add_option("--stream", options->plan.role, "Stream role")
        ->transform(CLI::CheckedTransformer(std::map<std::string, StreamRole>{
            {"rec", StreamRole::Rec}, {"live", StreamRole::Live}, {"remote", StreamRole::Remote}}));
    record->add_option("--seconds", options->plan.seconds, "Seconds to record")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    record->add_option("--wait", options->plan.firstFrameSeconds, "Seconds to wait for the first frame")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    record->add_option("--out", options->plan.outputPath, "Output file")->required();
    record->add_option("--transport", options->transport, "RTP transport (default: as configured)")
        ->transform(CLI::CheckedTransformer(std::map<std::string, Transport>{
            {"udp", Transport::Udp}, {"tcp", Transport::Tcp}, {"multicast", Transport::Multicast}}));
    record->add_option("--width", stream.width, "Picture width")->capture_default_str();
    record->add_option("--height", stream.height, "Picture height")->capture_default_str();
    record->add_option("--fps", stream.framesPerSecond, "Frames per second")
        ->check(CLI::Range(1, 30))
        ->capture_default_str();
    record->add_option("--quality", stream.quality, "Quality 1-100")->check(CLI::Range(1, 100))->capture_default_str();
    AddPluginOption(*record, options->plugin);
    RunOnCallback(*record, RunRecord, options);
}

}  // namespace tallowcam_host
