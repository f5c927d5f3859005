// stream_load: N simultaneous H.264 channels from the camera simulator (run as
// a separate `camsim` process, RTSP on 127.0.0.1:554) through the driver
// plug-in, opened the way a recorder opens them: one driver per camera
// through the exported factory, StartChannel with a frame sink. Reports the
// frames delivered and lost, the CPU time of the driver and of the camera,
// and the resident memory per stream at steady state.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>

#include "DriverSession.h"
#include "ProbeRunner.h"
#include "TransportConfiguration.h"
#include "platform/ChildProcess.h"

namespace {

using namespace tallowcam_host;
using korvane::platform::ChildProcess;
using korvane::platform::CpuTimes;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kCamsimStartMs = 10000;
constexpr uint32_t kCamsimStopMs = 10000;
constexpr uint32_t kProbeTimeoutMs = 30000;
constexpr uint32_t kDrainMs = 500;  // frames still on their way when the camera stops

struct LoadOptions {
    std::string plugin = TALLOWCAM_DEFAULT_PLUGIN;
    std::string camsim = STREAM_LOAD_CAMSIM;
    uint32_t channels = 1;
    Transport transport = Transport::Udp;
    double warmupSeconds = 3;
    double seconds = 10;
    uint32_t kilobitsPerSecond = 4000;  // of a 1080p30 H.264 stream
    uint32_t framesPerSecond = 30;
};

// The simulated camera as a child process: its HTTP port, and the frames it sent.
class CameraProcess {
public:
    bool Start(const LoadOptions& options, std::string& error)
    {
        const uint32_t frameBytes = options.kilobitsPerSecond * 1000 / 8 / options.framesPerSecond;
        if (!m_process.Start(options.camsim, {"--port", "0", "--rtsp-port", "554", "--h264-frame-bytes",
                                              std::to_string(frameBytes)})) {
            error = "cannot start " + options.camsim;
            return false;
        }
        std::string line;
        unsigned port = 0;
        if (!m_process.ReadLine(line, kCamsimStartMs) ||
            std::sscanf(line.c_str(), "camsim: http on %*[^:]:%u", &port) != 1) {
            error = "camsim did not start (port 554 taken?): " + line;
            return false;
        }
        m_httpPort = static_cast<uint16_t>(port);
        return true;
    }
    // Stops the camera; the frames it sent in all, or -1 when it did not say.
    long long Stop()
    {
        m_process.Stop(kCamsimStopMs);
        std::string line;
        size_t packets = 0;
        size_t frames = 0;
        while (m_process.ReadLine(line, kCamsimStopMs)) {
            if (std::sscanf(line.c_str(), "camsim: sent %zu RTP packets, %zu", &packets, &frames) == 2)
                return static_cast<long long>(frames);
        }
        return -1;
    }
    uint16_t HttpPort() const { return m_httpPort; }
    CpuTimes Cpu() const
    {
        CpuTimes times;
        m_process.ReadCpuTimes(times);
        return times;
    }
    uint64_t ResidentBytes() const { return m_process.ResidentBytes(); }

private:
    ChildProcess m_process;
    uint16_t m_httpPort = 0;
};

// One camera as a recorder holds it: a driver object and its recording stream.
class LoadChannel {
public:
    bool Start(const CameraSettings& camera, const StreamSettings& stream, PluginLibrary::DriverPtr driver,
               std::string& error)
    {
        m_driver = std::move(driver);
        m_parameters = std::make_unique<HostParameters>(camera);
        m_request = std::make_unique<StreamRequest>(stream);
        if (m_driver == nullptr || !m_driver->Open(&m_logSink, &m_allocator, m_parameters.get())) {
            error = "the driver did not open";
            return false;
        }
        m_video = m_driver->GetVideoCaptureEx2();
        if (m_video == nullptr || !m_video->StartChannel(0, &m_sink, m_request.get())) {
            error = "the channel did not start";
            return false;
        }
        return true;
    }
    void Stop()
    {
        if (m_video != nullptr)
            m_video->StopChannel(0);
        m_video = nullptr;
        if (m_driver != nullptr)
            m_driver->Close();
        m_driver.reset();
    }
    StreamStatistics Statistics() const { return m_sink.Statistics(); }

private:
    ConsoleLogSink m_logSink{false};
    HeapFrameAllocator m_allocator;
    RecordingSink m_sink;
    std::unique_ptr<HostParameters> m_parameters;
    std::unique_ptr<StreamRequest> m_request;
    PluginLibrary::DriverPtr m_driver;
    korvane::ipcapture::IIPVideoCaptureEx2* m_video = nullptr;
};

StreamStatistics Total(const std::vector<std::unique_ptr<LoadChannel>>& channels)
{
    StreamStatistics total;
    for (const auto& channel : channels) {
        const StreamStatistics statistics = channel->Statistics();
        total.frames += statistics.frames;
        total.bytes += statistics.bytes;
    }
    return total;
}

void SleepSeconds(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "stream_load: %s\n", message.c_str());
    return 1;
}

int Run(const LoadOptions& options)
{
    std::string error;
    TransportConfiguration configuration;
    if (!configuration.Apply(options.transport, error))
        return Fail(error);
    CameraProcess camera;
    if (!camera.Start(options, error))
        return Fail(error);
    PluginLibrary plugin;
    if (!plugin.Load(options.plugin, error))
        return Fail(error);
    const CameraConnection connection{"127.0.0.1", camera.HttpPort(), "root", ""};
    const CapabilityReport report = RunCapabilityQuery(plugin, connection, kProbeTimeoutMs);
    if (report.outcome != ProbeOutcome::Completed)
        return Fail(DescribeFailure(report, connection));
    const CameraSettings settings = SettingsFromReport(report, connection);
    StreamSettings stream;
    stream.width = 1920;
    stream.height = 1080;
    stream.framesPerSecond = options.framesPerSecond;

    const uint64_t residentBefore = korvane::platform::ProcessResidentBytes();
    std::vector<std::unique_ptr<LoadChannel>> channels;
    for (uint32_t i = 0; i < options.channels; ++i) {
        channels.push_back(std::make_unique<LoadChannel>());
        if (!channels.back()->Start(settings, stream, plugin.CreateDriver(), error))
            return Fail("channel " + std::to_string(i) + ": " + error);
    }
    SleepSeconds(options.warmupSeconds);

    const StreamStatistics before = Total(channels);
    const CpuTimes driverBefore = korvane::platform::ProcessCpuTimes();
    const CpuTimes cameraBefore = camera.Cpu();
    const Clock::time_point windowStart = Clock::now();
    SleepSeconds(options.seconds);
    const double window = std::chrono::duration<double>(Clock::now() - windowStart).count();
    const CpuTimes driverAfter = korvane::platform::ProcessCpuTimes();
    const CpuTimes cameraAfter = camera.Cpu();
    const StreamStatistics after = Total(channels);
    const uint64_t framesInWindow = after.frames - before.frames;
    const double kilobits = static_cast<double>(after.bytes - before.bytes) * 8 / 1000;
    const uint64_t residentAfter = korvane::platform::ProcessResidentBytes();
    const uint64_t cameraResident = camera.ResidentBytes();

    const long long sent = camera.Stop();
    SleepSeconds(kDrainMs / 1000.0);
    const uint64_t delivered = Total(channels).frames;
    for (auto& channel : channels)
        channel->Stop();

    const double n = options.channels;
    const double driverCpu = driverAfter.Total() - driverBefore.Total();
    const double cameraCpu = cameraAfter.Total() - cameraBefore.Total();
    std::printf("| %s | %u | %.1f | %.2f | %.0f | %llu | %lld | %lld | %.2f %% | %.2f %% (user %.2f %%) | %.2f |"
                " %.0f |\n",
                options.transport == Transport::Tcp ? "interleaved" : "UDP", options.channels,
                static_cast<double>(framesInWindow) / window, static_cast<double>(framesInWindow) / window / n,
                kilobits / window / n, static_cast<unsigned long long>(delivered), sent, sent - static_cast<long long>(delivered),
                100 * cameraCpu / window / n, 100 * driverCpu / window / n,
                100 * (driverAfter.userSeconds - driverBefore.userSeconds) / window / n,
                (static_cast<double>(residentAfter) - static_cast<double>(residentBefore)) / n / (1024 * 1024),
                static_cast<double>(cameraResident) / (1024 * 1024));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    LoadOptions options;
    CLI::App app{"Streams N channels from the camera simulator through the driver plug-in"};
    app.add_option("--channels", options.channels, "simultaneous channels")->check(CLI::Range(1, 256))
        ->capture_default_str();
    app.add_option("--transport", options.transport, "RTP transport")
        ->transform(CLI::CheckedTransformer(std::map<std::string, Transport>{{"udp", Transport::Udp},
                                                                             {"tcp", Transport::Tcp}}));
    app.add_option("--warmup", options.warmupSeconds, "seconds before measuring")->capture_default_str();
    app.add_option("--seconds", options.seconds, "seconds measured")->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--kbps", options.kilobitsPerSecond, "bit rate of each stream")->capture_default_str();
    app.add_option("--fps", options.framesPerSecond, "frames per second")->check(CLI::Range(1, 30))
        ->capture_default_str();
    app.add_option("--plugin", options.plugin, "driver plug-in")->capture_default_str();
    app.add_option("--camsim", options.camsim, "camera simulator program")->capture_default_str();
    bool header = false;
    app.add_flag("--header", header, "print the table head first");
    CLI11_PARSE(app, argc, argv);
    if (header) {
        std::printf("| transport | streams | frames/s | frames/s per stream | kbit/s per stream | frames delivered |"
                    " frames sent | frames lost | camsim CPU per stream | driver CPU per stream |"
                    " driver MiB per stream | camsim MiB |\n|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    }
    return Run(options);
}
