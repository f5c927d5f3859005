#pragma once
// Runs the tallowcam program (or a copy of it) and collects what it printed.
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

}  // namespace tallowcam_test
