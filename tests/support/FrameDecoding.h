#pragma once
// Decoding delivered frames with the ffmpeg programs, to prove they are whole
// pictures: frames are written back to back into a temporary file that
// ffmpeg reads as a raw H.264, Motion JPEG or MPEG-4 stream.
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/FrameHost.h"

namespace korvane::test {

#ifdef _WIN32
// The ffmpeg programs here are Linux programs, which wine starts but cannot wait for.
inline std::string RunCommand(const std::string& command) { return "cannot run " + command; }
inline bool HaveFfmpeg() { return false; }
#else
// Runs a shell command; its standard output and error.
inline std::string RunCommand(const std::string& command)
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
inline bool HaveFfmpeg()
{
    return RunCommand("command -v ffprobe && command -v ffmpeg").find("ffmpeg") != std::string::npos;
}
#endif

// A temporary file holding every frame, back to back; removed with the object.
class CFrameFile {
public:
    CFrameFile(const std::vector<DeliveredFrame>& frames, const std::string& extension)
    {
        static const unsigned run = std::random_device()();
        static std::atomic<int> counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("tallowcam-decode-" + std::to_string(run) + "-" + std::to_string(counter++) + extension);
        std::ofstream file(m_path, std::ios::binary);
        for (const DeliveredFrame& frame : frames)
            file.write(reinterpret_cast<const char*>(frame.bytes.data()),
                       static_cast<std::streamsize>(frame.bytes.size()));
    }
    ~CFrameFile()
    {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    CFrameFile(const CFrameFile&) = delete;
    CFrameFile& operator=(const CFrameFile&) = delete;
    std::string Path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

struct DecodeResult {
    std::string errors;   // everything the decoder reported at level error
    std::string summary;  // "width,height,frames"
};

// `format` is ffmpeg's name of the raw stream: "h264", "mjpeg", "m4v".
inline DecodeResult Decode(const CFrameFile& file, const std::string& format)
{
    DecodeResult result;
    result.errors = RunCommand("ffmpeg -nostdin -v error -f " + format + " -i '" + file.Path() + "' -f null -");
    result.summary = RunCommand("ffprobe -v error -f " + format +
                                " -count_frames -select_streams v:0 -show_entries stream=width,height,nb_read_frames"
                                " -of csv=p=0 '" + file.Path() + "'");
    return result;
}
// ffmpeg's framemd5 listing: one checksum line per decoded picture.
inline std::string FrameChecksums(const std::string& path, const std::string& format)
{
    return RunCommand("ffmpeg -nostdin -v error -f " + format + " -i '" + path + "' -f framemd5 -");
}
// The checksums alone, one per decoded picture, in order.
inline std::vector<std::string> PictureChecksums(const std::string& path, const std::string& format)
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
