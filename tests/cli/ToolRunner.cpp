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

}  // namespace tallowcam_test
