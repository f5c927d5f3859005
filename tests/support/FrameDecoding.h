#pragma once
// Decoding delivered frames with the ffmpeg programs, to prove they are whole
// pictures: frames are written back to back into a temporary file that
// ffmpeg reads as a raw H.264, Motion JPEG or MPEG-4 stream.
#include <filesystem>
#include <string>
#include <vector>

#include "support/FrameHost.h"

namespace korvane::test {

// Runs a shell command; its standard output and error.
std::string RunCommand(const std::string& command);
bool HaveFfmpeg();

// A temporary file holding every frame, back to back; removed with the object.
class CFrameFile {
public:
    CFrameFile(const std::vector<DeliveredFrame>& frames, const std::string& extension);
    ~CFrameFile();
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
DecodeResult Decode(const CFrameFile& file, const std::string& format);
// ffmpeg's framemd5 listing: one checksum line per decoded picture.
std::string FrameChecksums(const std::string& path, const std::string& format);
// The checksums alone, one per decoded picture, in order.
std::vector<std::string> PictureChecksums(const std::string& path, const std::string& format);

}  // namespace korvane::test
