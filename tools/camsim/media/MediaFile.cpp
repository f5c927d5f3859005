#include "camsim/media/MediaFile.h"

#include <fstream>
#include <iterator>

#include "platform/Process.h"

namespace camsim::media {

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !bytes.empty();
}

std::vector<size_t> FindStartCodes(const std::vector<uint8_t>& bytes)
{
    std::vector<size_t> offsets;
    for (size_t i = 0; i + 3 <= bytes.size(); ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) {
            offsets.push_back(i);
            i += 2;
        }
    }
    return offsets;
}

std::string Base64Line(const uint8_t* bytes, size_t length)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < length; i += 3) {
        uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
        if (i + 1 < length)
            group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
        if (i + 2 < length)
            group |= bytes[i + 2];
        text += kAlphabet[(group >> 18) & 63];
        text += kAlphabet[(group >> 12) & 63];
        text += i + 1 < length ? kAlphabet[(group >> 6) & 63] : '=';
        text += i + 2 < length ? kAlphabet[group & 63] : '=';
    }
    return text;
}

std::string HexUpper(const uint8_t* bytes, size_t length)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

std::string MediaDirectory()
{
    return korvane::platform::InstalledOrFallbackPath(CAMSIM_INSTALLED_MEDIA_DIR, CAMSIM_MEDIA_DIR);
}

std::string SamplePath(const char* fileName)
{
    return MediaDirectory() + "/" + fileName;
}

}  // namespace camsim::media
