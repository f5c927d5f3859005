#include "ToolRunner.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "support/ScratchDirectory.h"

namespace tallowcam_test {

namespace {

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

ToolRun RunTool(const std::string& program, const std::vector<std::string>& arguments)
{
    korvane::test::ScratchDirectory scratch;
    const std::string outPath = scratch.Path() + "out";
    const std::string errPath = scratch.Path() + "err";
    std::string command = Quote(program);
    for (const std::string& argument : arguments)
        command += " " + Quote(argument);
    command += " >" + Quote(outPath) + " 2>" + Quote(errPath) + " </dev/null";
    ToolRun run;
    const int status = std::system(command.c_str());
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadAll(outPath);
    run.err = ReadAll(errPath);
    return run;
}

bool HaveProgram(const std::string& name)
{
    return std::system(("command -v " + Quote(name) + " >/dev/null 2>&1").c_str()) == 0;
}

bool ProbeVideoFile(const std::string& path, ProbedVideo& probed, std::string& error)
{
    const ToolRun probe = RunTool("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                              "stream=codec_name,width,height,nb_read_frames", "-of",
                                              "default=noprint_wrappers=1", path});
    error = probe.err;
    // Decoding errors leave the exit status at 0: any line at all is damage.
    if (probe.exitStatus != 0 || !probe.err.empty())
        return false;
    std::istringstream lines(probe.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        const std::string key = line.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
        if (key == "codec_name")
            probed.codec = value;
        else if (key == "width")
            probed.width = static_cast<uint32_t>(std::stoul(value));
        else if (key == "height")
            probed.height = static_cast<uint32_t>(std::stoul(value));
        else if (key == "nb_read_frames")
            probed.frames = static_cast<uint32_t>(std::stoul(value));
    }
    return true;
}

}  // namespace tallowcam_test
