#include "LoadRun.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <thread>

#include <CLI/CLI.hpp>

#include "platform/ChildProcess.h"

namespace tallowcam_bench {

namespace {

using korvane::platform::ChildProcess;
using korvane::platform::CpuTimes;

constexpr uint32_t kCamsimStartMs = 10000;
constexpr uint32_t kCamsimStopMs = 10000;
// Frames still on their way when the camera stops: they count as delivered once they arrive, as long
// as one arrives every kDrainMs, for at most kDrainLimitMs.
constexpr uint32_t kDrainMs = 500;
constexpr uint32_t kDrainLimitMs = 10000;
constexpr uint32_t kFirstFramesLimitMs = 30000;

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

StreamCounts Total(const std::vector<StreamCounts>& streams)
{
    StreamCounts total;
    for (const StreamCounts& stream : streams) {
        total.frames += stream.frames;
        total.bytes += stream.bytes;
    }
    return total;
}

std::string FirstFailure(const std::vector<StreamCounts>& streams)
{
    for (size_t i = 0; i < streams.size(); ++i) {
        if (!streams[i].failure.empty())
            return "stream " + std::to_string(i) + ": " + streams[i].failure;
    }
    return {};
}

std::string Milliseconds(double ms)
{
    if (std::isinf(ms))
        return "none";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", ms);
    return text;
}

// Median and maximum over the streams of the time to the first frame; "none"
// stands for the streams that had no frame yet.
std::pair<std::string, std::string> FirstFrameTimes(const std::vector<StreamCounts>& streams)
{
    std::vector<double> times;
    for (const StreamCounts& stream : streams)
        times.push_back(stream.firstFrameMs.value_or(std::numeric_limits<double>::infinity()));
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    const double median = n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    return {Milliseconds(median), Milliseconds(times.back())};
}

void SleepSeconds(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void WaitForFirstFrames(const LoadReceiver& receiver)
{
    const Clock::time_point limit = Clock::now() + std::chrono::milliseconds(kFirstFramesLimitMs);
    const auto streaming = [](const StreamCounts& stream) { return stream.firstFrameMs.has_value(); };
    for (;;) {
        const std::vector<StreamCounts> streams = receiver.Counts();
        if (std::all_of(streams.begin(), streams.end(), streaming) || Clock::now() >= limit)
            return;
        SleepSeconds(0.1);
    }
}

uint64_t DeliveredOnceSettled(const LoadReceiver& receiver)
{
    const Clock::time_point limit = Clock::now() + std::chrono::milliseconds(kDrainLimitMs);
    uint64_t delivered = Total(receiver.Counts()).frames;
    for (;;) {
        SleepSeconds(kDrainMs / 1000.0);
        const uint64_t now = Total(receiver.Counts()).frames;
        if (now == delivered || Clock::now() >= limit)
            return now;
        delivered = now;
    }
}

}  // namespace

void AddLoadOptions(CLI::App& app, LoadOptions& options)
{
    options.camsim = STREAM_LOAD_CAMSIM;
    app.add_option("--channels", options.streams, "simultaneous streams")->check(CLI::Range(1, 256))
        ->capture_default_str();
    app.add_option("--transport", options.transport, "RTP transport: udp, or tcp (interleaved)")
        ->transform(CLI::CheckedTransformer(std::map<std::string, LoadTransport>{
            {"udp", LoadTransport::Udp}, {"tcp", LoadTransport::Interleaved}}));
    app.add_option("--warmup", options.warmupSeconds, "seconds before measuring")->capture_default_str();
    app.add_option("--seconds", options.seconds, "seconds measured")->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--kbps", options.kilobitsPerSecond, "bit rate of each stream")->capture_default_str();
    app.add_option("--fps", options.framesPerSecond, "frames per second")->check(CLI::Range(1, 30))
        ->capture_default_str();
    app.add_option("--camsim", options.camsim, "camera simulator program")->capture_default_str();
    app.add_flag("--header", options.header, "print the table head first");
}

void FirstFrameClock::OnFrame()
{
    Clock::rep none = 0;
    m_firstFrame.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
}

std::optional<double> FirstFrameClock::Milliseconds() const
{
    const Clock::rep firstFrame = m_firstFrame.load();
    if (firstFrame == 0)
        return std::nullopt;
    return std::chrono::duration<double, std::milli>(Clock::time_point(Clock::duration(firstFrame)) - m_start)
        .count();
}

int RunLoad(const LoadOptions& options, const std::string& receiverName, LoadReceiver& receiver)
{
    const auto fail = [&receiverName](const std::string& message) {
        std::fprintf(stderr, "%s: %s\n", receiverName.c_str(), message.c_str());
        return 1;
    };
    if (options.header) {
        std::printf("| receiver | transport | streams | frames/s | frames/s per stream | kbit/s per stream |"
                    " frames delivered | frames sent | frames lost | camsim CPU per stream | CPU per stream |"
                    " MiB per stream | camsim MiB | first frame (median) | first frame (max) |\n"
                    "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    }
    std::string error;
    CameraProcess camera;
    if (!camera.Start(options, error) || !receiver.Prepare(camera.HttpPort(), error))
        return fail(error);

    const uint64_t residentBefore = korvane::platform::ProcessResidentBytes();
    for (uint32_t i = 0; i < options.streams; ++i) {
        if (!receiver.StartStream(error))
            return fail("stream " + std::to_string(i) + ": " + error);
    }
    // The window starts once every stream streams, so that each one's cost is measured whole.
    WaitForFirstFrames(receiver);
    SleepSeconds(options.warmupSeconds);

    const StreamCounts before = Total(receiver.Counts());
    const CpuTimes receiverBefore = korvane::platform::ProcessCpuTimes();
    const CpuTimes cameraBefore = camera.Cpu();
    const Clock::time_point windowStart = Clock::now();
    SleepSeconds(options.seconds);
    const double window = std::chrono::duration<double>(Clock::now() - windowStart).count();
    const CpuTimes receiverAfter = korvane::platform::ProcessCpuTimes();
    const CpuTimes cameraAfter = camera.Cpu();
    const std::vector<StreamCounts> streams = receiver.Counts();
    const uint64_t residentAfter = korvane::platform::ProcessResidentBytes();
    const uint64_t cameraResident = camera.ResidentBytes();
    const std::string failure = FirstFailure(streams);
    if (!failure.empty())
        return fail(failure);
    const StreamCounts after = Total(streams);
    const uint64_t framesInWindow = after.frames - before.frames;
    const double kilobits = static_cast<double>(after.bytes - before.bytes) * 8 / 1000;
    const auto [firstFrameMedian, firstFrameMax] = FirstFrameTimes(streams);

    const long long sent = camera.Stop();
    const uint64_t delivered = DeliveredOnceSettled(receiver);
    receiver.StopStreams();

    const double n = options.streams;
    const double receiverCpu = receiverAfter.Total() - receiverBefore.Total();
    const double cameraCpu = cameraAfter.Total() - cameraBefore.Total();
    std::printf("| %s | %s | %u | %.1f | %.2f | %.0f | %llu | %lld | %lld | %.2f %% | %.2f %% (user %.2f %%) |"
                " %.2f | %.0f | %s | %s |\n",
                receiverName.c_str(), options.transport == LoadTransport::Udp ? "UDP" : "interleaved",
                options.streams, static_cast<double>(framesInWindow) / window,
                static_cast<double>(framesInWindow) / window / n, kilobits / window / n,
                static_cast<unsigned long long>(delivered), sent, sent - static_cast<long long>(delivered),
                100 * cameraCpu / window / n, 100 * receiverCpu / window / n,
                100 * (receiverAfter.userSeconds - receiverBefore.userSeconds) / window / n,
                (static_cast<double>(residentAfter) - static_cast<double>(residentBefore)) / n / (1024 * 1024),
                static_cast<double>(cameraResident) / (1024 * 1024), firstFrameMedian.c_str(), firstFrameMax.c_str());
    return 0;
}

}  // namespace tallowcam_bench
