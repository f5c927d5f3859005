#include "camsim/media/JpegSource.h"

#include <algorithm>

#include "camsim/media/JpegTranscoder.h"
#include "camsim/media/MediaFile.h"

namespace camsim::media {
namespace {

constexpr uint32_t kFramePeriodMs = 100;
constexpr uint8_t kRestartTypeOffset = 64;
constexpr size_t kMainHeaderSize = 8;
constexpr size_t kRestartHeaderSize = 4;
constexpr size_t kTableHeaderSize = 4;

std::vector<std::pair<size_t, size_t>> SplitPictures(const std::vector<uint8_t>& file)
{
    std::vector<std::pair<size_t, size_t>> pictures;
    size_t begin = std::string::npos;
    for (size_t i = 0; i + 1 < file.size(); ++i) {
        if (file[i] != 0xFF)
            continue;
        if (file[i + 1] == 0xD8 && begin == std::string::npos)
            begin = i;
        else if (file[i + 1] == 0xD9 && begin != std::string::npos) {
            pictures.emplace_back(begin, i + 2 - begin);
            begin = std::string::npos;
        }
    }
    return pictures;
}

class CJpegSource : public IMediaSource {
public:
    CJpegSource(std::vector<RtpJpegPicture> pictures, const MediaSourceOptions& options)
        : m_pictures(std::move(pictures)), m_options(options)
    {
    }

    std::string EncodingName() const override { return "JPEG/90000"; }
    uint8_t PayloadType() const override { return 26; }
    uint32_t ClockRate() const override { return 90000; }
    std::string FmtpAttributes() const override { return ""; }
    std::string MediaType() const override { return "video"; }
    uint32_t FramePeriodMs() const override { return kFramePeriodMs; }

    void NextFrame(std::vector<RtpPayload>& payloads, uint32_t& timestampStep) override
    {
        payloads.clear();
        timestampStep = ClockRate() / 1000 * kFramePeriodMs;
        const RtpJpegPicture& picture = m_pictures[m_next];
        m_next = (m_next + 1) % m_pictures.size();

        size_t offset = 0;
        while (offset < picture.scan.size()) {
            std::vector<uint8_t> bytes = Headers(picture, offset);
            const size_t room = m_options.maxPayloadSize > bytes.size() + 1 ? m_options.maxPayloadSize - bytes.size() : 1;
            const size_t end = std::min(picture.scan.size(), offset + room);
            bytes.insert(bytes.end(), picture.scan.begin() + offset, picture.scan.begin() + end);
            payloads.push_back({std::move(bytes), end == picture.scan.size()});
            offset = end;
        }
    }

private:
    std::vector<uint8_t> Headers(const RtpJpegPicture& picture, size_t offset) const
    {
        const uint8_t type = static_cast<uint8_t>(picture.type + (picture.restartInterval ? kRestartTypeOffset : 0));
        std::vector<uint8_t> bytes{0,
                                   static_cast<uint8_t>(offset >> 16),
                                   static_cast<uint8_t>(offset >> 8),
                                   static_cast<uint8_t>(offset),
                                   type,
                                   m_options.jpegQ,
                                   static_cast<uint8_t>(picture.width / 8),
                                   static_cast<uint8_t>(picture.height / 8)};
        bytes.reserve(kMainHeaderSize + kRestartHeaderSize + kTableHeaderSize + 128);
        if (picture.restartInterval) {
            // F and L set, count 0x3FFF: fragments are not aligned to restart intervals.
            bytes.insert(bytes.end(), {static_cast<uint8_t>(picture.restartInterval >> 8),
                                       static_cast<uint8_t>(picture.restartInterval), 0xFF, 0xFF});
        }
        if (offset == 0 && m_options.jpegQ >= 128) {
            bytes.insert(bytes.end(), {0, 0, 0, 128});
            bytes.insert(bytes.end(), picture.lumaTable.begin(), picture.lumaTable.end());
            bytes.insert(bytes.end(), picture.chromaTable.begin(), picture.chromaTable.end());
        }
        return bytes;
    }

    std::vector<RtpJpegPicture> m_pictures;
    MediaSourceOptions m_options;
    size_t m_next = 0;
};

}  // namespace

std::unique_ptr<IMediaSource> OpenJpegSource(const MediaSourceOptions& options)
{
    std::vector<uint8_t> file;
    if (!ReadWholeFile(options.filePath.empty() ? SamplePath("sample320x240.mjpeg") : options.filePath, file))
        return nullptr;
    std::vector<RtpJpegPicture> pictures;
    for (const auto& [begin, length] : SplitPictures(file)) {
        RtpJpegPicture picture;
        if (!TranscodeForRtp(file.data() + begin, length, options.jpegQ, options.jpegRestartInterval, picture))
            return nullptr;
        pictures.push_back(std::move(picture));
    }
    if (pictures.empty())
        return nullptr;
    return std::make_unique<CJpegSource>(std::move(pictures), options);
}

}  // namespace camsim::media
