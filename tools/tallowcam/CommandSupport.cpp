#include "CommandSupport.h"

#include <unistd.h>

#include <csignal>

#include "platform/Process.h"

namespace tallowcam_host {

namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int)
{
    g_interrupted.store(true);
}

const char* StateName(uint32_t state)
{
    return state == 0 ? "streaming" : "signal lost or stopped";
}

}  // namespace

std::string DefaultPluginPath()
{
    return korvane::platform::InstalledOrFallbackPath(TALLOWCAM_INSTALLED_PLUGIN, TALLOWCAM_BUILT_PLUGIN);
}

void AddPluginOption(CLI::App& command, std::string& plugin)
{
    command.add_option("--plugin", plugin, "Driver plug-in library")->capture_default_str();
}

void AddCameraOptions(CLI::App& command, CameraConnection& camera)
{
    command.add_option("address", camera.address, "Camera address")->required();
    command.add_option("--port", camera.port, "Camera HTTP port")->capture_default_str();
    command.add_option("--user", camera.userName, "Camera user name")->capture_default_str();
    command.add_option("--password", camera.password, "Camera password");
}

const std::atomic<bool>& InterruptRequested()
{
    return g_interrupted;
}

void InstallInterruptHandler()
{
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "tallowcam: %s\n", message.c_str());
    return 1;
}

void PrintProgress(double seconds, const StreamStatistics& statistics)
{
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    std::fprintf(stderr, "%srecording %5.1f s  %6llu frames  %8.1f kB  %5.1f fps%s", terminal ? "\r" : "", seconds,
                 static_cast<unsigned long long>(statistics.frames), statistics.bytes / 1000.0,
                 statistics.FramesPerSecond(), terminal ? "" : "\n");
    std::fflush(stderr);
}

void EndProgress()
{
    if (::isatty(STDERR_FILENO) != 0)
        std::fputc('\n', stderr);
}

void PrintRecordingSummary(const std::string& title, const RecordingResult& result, std::FILE* out)
{
    const StreamStatistics& s = result.statistics;
    std::fprintf(out, "%s:\n", title.c_str());
    std::fprintf(out, "  frames:         %llu\n", static_cast<unsigned long long>(s.frames));
    std::fprintf(out, "  bytes:          %llu\n", static_cast<unsigned long long>(s.bytes));
    if (s.frames > 0) {
        std::fprintf(out, "  format:         %s %ux%u\n", FourCCText(s.fourCC).c_str(), s.width, s.height);
        std::fprintf(out, "  average frame:  %llu bytes\n", static_cast<unsigned long long>(s.bytes / s.frames));
        std::fprintf(out, "  frame rate:     %.1f fps\n", s.FramesPerSecond());
        std::fprintf(out, "  bit rate:       %.0f kbit/s\n", s.KilobitsPerSecond());
    }
    std::fprintf(out, "  signal lost:    %llu\n", static_cast<unsigned long long>(s.signalLosses));
    for (const StateChange& change : result.stateChanges)
        std::fprintf(out, "  state at %4.1f s: %s\n", change.atSeconds, StateName(change.state));
    if (!result.ok)
        std::fprintf(out, "  failed:         %s\n", result.error.c_str());
}

}  // namespace tallowcam_host
