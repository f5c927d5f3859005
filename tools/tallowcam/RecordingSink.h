#pragma once
// The frame sink of one stream: counts frames and bytes, tracks the rate and,
// when given a file, appends every frame to it. H.264 frames arrive as Annex B
// access units and JPEG frames as whole pictures, so the file is a plain
// .h264 or .mjpeg stream. The driver ends every H.264 frame with the start of
// an access unit delimiter (00 00 00 01 09) that lacks its payload byte; the
// file leaves it out, so that decoders read it without an error.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "tallowcam/HostInterfaces.h"

namespace tallowcam_host {

struct StreamStatistics {
    uint64_t frames = 0;
    uint64_t bytes = 0;
    uint64_t signalLosses = 0;
    uint32_t fourCC = 0;  // of the last frame
    uint32_t width = 0;
    uint32_t height = 0;
    double seconds = 0;   // from the first to the last frame

    double FramesPerSecond() const { return frames > 1 && seconds > 0 ? (frames - 1) / seconds : 0; }
    double KilobitsPerSecond() const { return seconds > 0 ? bytes * 8 / 1000.0 / seconds : 0; }
};

// "H264" for 0x34363248.
std::string FourCCText(uint32_t fourCC);

class RecordingSink final : public korvane::ipcapture::IFrameSink {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    // False with a reason when the file cannot be created.
    bool OpenFile(const std::string& path, std::string& error);
    // False when a write failed; the sink then refuses further frames.
    bool FileIsGood() const;

    bool OnFrame(korvane::ipcapture::IHostFrame* frame) override;
    void OnSignalLost() override;

    StreamStatistics Statistics() const;

private:
    using Clock = std::chrono::steady_clock;
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    mutable std::mutex m_mutex;  // frames arrive on the driver's threads
    std::unique_ptr<std::FILE, FileCloser> m_file;
    bool m_writeFailed = false;
    StreamStatistics m_statistics;
    Clock::time_point m_firstFrame;
};

}  // namespace tallowcam_host
