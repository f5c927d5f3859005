#pragma once
// Runs the tallowcam program (or a copy of it) and collects what it printed;
// reads recorded files back with ffprobe.
#include <cstdint>
#include <string>
#include <vector>

namespace tallowcam_test {

struct ToolRun {
    int exitStatus = -1;
    std::string out;
    std::string err;
};

ToolRun RunTool(const std::string& program, const std::vector<std::string>& arguments);

// True when a program of that name is on the PATH.
bool HaveProgram(const std::string& name);

// ffprobe's view of a file's first video stream, read by decoding every
// frame; false when ffprobe reports any error.
struct ProbedVideo {
    std::string codec;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frames = 0;
};
bool ProbeVideoFile(const std::string& path, ProbedVideo& probed, std::string& error);

}  // namespace tallowcam_test
