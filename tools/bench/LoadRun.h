#pragma once
// The load run that stream_load (the driver) and gst_stream_load (GStreamer)
// share: N H.264 streams from a camsim process (RTSP on 127.0.0.1:554) into
// one receiving process, measured the same way for both, and reported as one
// markdown table row.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace tallowcam_bench {

using Clock = std::chrono::steady_clock;

enum class LoadTransport { Udp, Interleaved };

struct LoadOptions {
    std::string camsim;
    uint32_t streams = 1;
    LoadTransport transport = LoadTransport::Udp;
    double warmupSeconds = 3;
    double seconds = 10;
    uint32_t kilobitsPerSecond = 4000;  // of a 1080p30 H.264 stream
    uint32_t framesPerSecond = 30;
    bool header = false;  // print the table head before the row
};

// The command line options both programs take.
void AddLoadOptions(CLI::App& app, LoadOptions& options);

// The time from a stream's start to its first frame; frames may come on any thread.
class FirstFrameClock {
public:
    void Start() { m_start = Clock::now(); }
    void OnFrame();
    std::optional<double> Milliseconds() const;

private:
    Clock::time_point m_start;
    std::atomic<Clock::rep> m_firstFrame{0};  // since the clock's epoch; 0 before the first frame
};

// What one stream has delivered so far.
struct StreamCounts {
    uint64_t frames = 0;
    uint64_t bytes = 0;
    std::optional<double> firstFrameMs;
    std::string failure;  // why the stream stopped working; empty while it works
};

// The receiving side of a run: the driver plug-in or GStreamer.
class LoadReceiver {
public:
    virtual ~LoadReceiver() = default;
    // Called once the camera runs; false with a reason when it cannot be used.
    virtual bool Prepare(uint16_t cameraHttpPort, std::string& error) = 0;
    // Starts one more stream; false with a reason.
    virtual bool StartStream(std::string& error) = 0;
    virtual std::vector<StreamCounts> Counts() const = 0;
    virtual void StopStreams() = 0;
};

// Runs the load and prints its row; the program's exit status.
int RunLoad(const LoadOptions& options, const std::string& receiverName, LoadReceiver& receiver);

}  // namespace tallowcam_bench
