#include "support/FrameDecoding.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace korvane::test {

std::string RunCommand(const std::string& command)
{
    std::string output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return "cannot run " + command;
    char chunk[512];
    size_t read;
    while ((read = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, read);
    ::pclose(pipe);
    return output;
}

bool HaveFfmpeg()
{
    return RunCommand("command -v ffprobe && command -v ffmpeg").find("ffmpeg") != std::string::npos;
}

CFrameFile::CFrameFile(const std::vector<DeliveredFrame>& frames, const std::string& extension)
{
    static std::atomic<int> counter{0};
    m_path = std::filesystem::temp_directory_path() /
             ("tallowcam-decode-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + extension);
    std::ofstream file(m_path, std::ios::binary);
    for (const DeliveredFrame& frame : frames)
        file.write(reinterpret_cast<const char*>(frame.bytes.data()), static_cast<std::streamsize>(frame.bytes.size()));
}

CFrameFile::~CFrameFile()
{
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
}

DecodeResult Decode(const CFrameFile& file, const std::string& format)
{
    DecodeResult result;
    result.errors = RunCommand("ffmpeg -nostdin -v error -f " + format + " -i '" + file.Path() + "' -f null -");
    result.summary = RunCommand("ffprobe -v error -f " + format +
                                " -count_frames -select_streams v:0 -show_entries stream=width,height,nb_read_frames"
                                " -of csv=p=0 '" + file.Path() + "'");
    return result;
}

std::string FrameChecksums(const std::string& path, const std::string& format)
{
    return RunCommand("ffmpeg -nostdin -v error -f " + format + " -i '" + path + "' -f framemd5 -");
}

std::vector<std::string> PictureChecksums(const std::string& path, const std::string& format)
{
    std::vector<std::string> checksums;
    std::istringstream lines(FrameChecksums(path, format));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const size_t comma = line.rfind(',');
        checksums.push_back(line.substr(comma == std::string::npos ? 0 : line.find_first_not_of(' ', comma + 1)));
    }
    return checksums;
}

}  // namespace korvane::test
