#include "camsim/media/Mpeg4Source.h"

#include <algorithm>
#include <string>

#include "camsim/media/MediaFile.h"

namespace camsim::media {
namespace {

constexpr uint8_t kVopStart = 0xB6;
constexpr uint8_t kGroupOfVopStart = 0xB3;
constexpr uint32_t kFramePeriodMs = 100;

struct Vop {
    std::vector<uint8_t> groupHeader;  // GOV header in front of the VOP, if any
    std::vector<uint8_t> bytes;        // from the VOP start code on
    bool intra;
};

class CMpeg4Source : public IMediaSource {
public:
    CMpeg4Source(std::vector<uint8_t> config, std::vector<Vop> vops, const MediaSourceOptions& options)
        : m_config(std::move(config)), m_vops(std::move(vops)), m_options(options)
    {
    }

    std::string EncodingName() const override { return "MP4V-ES/90000"; }
    uint8_t PayloadType() const override { return 96; }
    uint32_t ClockRate() const override { return 90000; }
    std::string MediaType() const override { return "video"; }
    uint32_t FramePeriodMs() const override { return kFramePeriodMs; }
    std::string FmtpAttributes() const override
    {
        // profile_and_level_indication follows the visual object sequence start code.
        const bool hasSequenceHeader = m_config.size() > 4 && m_config[3] == 0xB0;
        const int profileLevel = hasSequenceHeader ? m_config[4] : 1;
        return "profile-level-id=" + std::to_string(profileLevel) + ";config=" + HexUpper(m_config.data(), m_config.size());
    }

    void NextFrame(std::vector<RtpPayload>& payloads, uint32_t& timestampStep) override
    {
        payloads.clear();
        timestampStep = ClockRate() / 1000 * kFramePeriodMs;
        const Vop& vop = m_vops[m_next];
        m_next = (m_next + 1) % m_vops.size();

        std::vector<uint8_t> frame;
        if (vop.intra && m_options.mpeg4ConfigInBand) {
            frame = m_config;
            frame.insert(frame.end(), vop.groupHeader.begin(), vop.groupHeader.end());
        }
        frame.insert(frame.end(), vop.bytes.begin(), vop.bytes.end());
        const size_t chunk = std::max<size_t>(m_options.maxPayloadSize, 16);
        for (size_t offset = 0; offset < frame.size(); offset += chunk) {
            const size_t end = std::min(frame.size(), offset + chunk);
            payloads.push_back({std::vector<uint8_t>(frame.begin() + offset, frame.begin() + end), end == frame.size()});
        }
    }

private:
    std::vector<uint8_t> m_config;
    std::vector<Vop> m_vops;
    MediaSourceOptions m_options;
    size_t m_next = 0;
};

}  // namespace

std::unique_ptr<IMediaSource> OpenMpeg4Source(const MediaSourceOptions& options)
{
    std::vector<uint8_t> stream;
    const std::string path = options.filePath.empty() ? SamplePath("sample352x288.m4v") : options.filePath;
    if (!ReadWholeFile(path, stream))
        return nullptr;
    const std::vector<size_t> starts = FindStartCodes(stream);
    std::vector<uint8_t> config;
    std::vector<uint8_t> groupHeader;
    std::vector<Vop> vops;
    for (size_t i = 0; i < starts.size(); ++i) {
        const size_t end = i + 1 < starts.size() ? starts[i + 1] : stream.size();
        const auto begin = stream.begin() + starts[i];
        if (end < starts[i] + 4)
            continue;
        const uint8_t code = stream[starts[i] + 3];
        if (code == kVopStart) {
            const bool intra = end > starts[i] + 4 && (stream[starts[i] + 4] >> 6) == 0;
            vops.push_back({std::move(groupHeader), std::vector<uint8_t>(begin, stream.begin() + end), intra});
            groupHeader.clear();
        } else if (code == kGroupOfVopStart) {
            groupHeader.assign(begin, stream.begin() + end);
        } else if (vops.empty()) {
            config.insert(config.end(), begin, stream.begin() + end);
        }
    }
    if (vops.empty() || config.empty())
        return nullptr;
    return std::make_unique<CMpeg4Source>(std::move(config), std::move(vops), options);
}

}  // namespace camsim::media
