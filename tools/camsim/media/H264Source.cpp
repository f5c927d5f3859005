#include "camsim/media/H264Source.h"

#include <algorithm>

#include "camsim/media/MediaFile.h"

namespace camsim::media {
namespace {

constexpr uint8_t kNalSps = 7;
constexpr uint8_t kNalPps = 8;
constexpr uint8_t kNalFiller = 12;
constexpr uint8_t kStapA = 24;
constexpr uint8_t kFuA = 28;
constexpr uint32_t kFramePeriodMs = 40;

using Nal = std::vector<uint8_t>;
using AccessUnit = std::vector<Nal>;

uint8_t NalType(const Nal& nal) { return nal[0] & 0x1F; }
bool IsSlice(const Nal& nal) { return NalType(nal) >= 1 && NalType(nal) <= 5; }
// first_mb_in_slice is ue(v): 0 exactly when its first bit is 1.
bool StartsPicture(const Nal& nal) { return IsSlice(nal) && nal.size() > 1 && (nal[1] & 0x80) != 0; }
bool StartsAccessUnitBeforeSlice(const Nal& nal)
{
    const uint8_t type = NalType(nal);
    return (type >= 6 && type <= 9) || (type >= 14 && type <= 18);
}

std::vector<Nal> SplitNalUnits(const std::vector<uint8_t>& stream)
{
    std::vector<Nal> nals;
    const std::vector<size_t> starts = FindStartCodes(stream);
    for (size_t i = 0; i < starts.size(); ++i) {
        const size_t begin = starts[i] + 3;
        size_t end = i + 1 < starts.size() ? starts[i + 1] : stream.size();
        while (end > begin && stream[end - 1] == 0)  // zero byte of a four-byte start code
            --end;
        if (end > begin)
            nals.emplace_back(stream.begin() + begin, stream.begin() + end);
    }
    return nals;
}

std::vector<AccessUnit> GroupAccessUnits(const std::vector<Nal>& nals)
{
    std::vector<AccessUnit> units(1);
    bool hasSlice = false;
    for (const Nal& nal : nals) {
        if (hasSlice && (StartsAccessUnitBeforeSlice(nal) || StartsPicture(nal))) {
            units.emplace_back();
            hasSlice = false;
        }
        units.back().push_back(nal);
        hasSlice = hasSlice || IsSlice(nal);
    }
    if (!hasSlice)
        units.pop_back();
    return units;
}

class CH264Source : public IMediaSource {
public:
    CH264Source(std::vector<AccessUnit> units, const MediaSourceOptions& options)
        : m_units(std::move(units)), m_options(options)
    {
        for (const AccessUnit& unit : m_units) {
            for (const Nal& nal : unit) {
                if (NalType(nal) == kNalSps && m_sps.empty())
                    m_sps = nal;
                if (NalType(nal) == kNalPps && m_pps.empty())
                    m_pps = nal;
            }
        }
    }

    std::string EncodingName() const override { return "H264/90000"; }
    uint8_t PayloadType() const override { return 96; }
    uint32_t ClockRate() const override { return 90000; }
    std::string MediaType() const override { return "video"; }
    uint32_t FramePeriodMs() const override { return kFramePeriodMs; }

    std::string FmtpAttributes() const override
    {
        std::string text = m_options.h264Mode == H264Packetisation::SingleNal ? "packetization-mode=0"
                                                                              : "packetization-mode=1";
        if (m_sps.size() >= 4)
            text += ";profile-level-id=" + HexUpper(&m_sps[1], 3);
        if (!m_sps.empty() && !m_pps.empty())
            text += ";sprop-parameter-sets=" + Base64Line(m_sps.data(), m_sps.size()) + "," +
                    Base64Line(m_pps.data(), m_pps.size());
        return text;
    }

    void NextFrame(std::vector<RtpPayload>& payloads, uint32_t& timestampStep) override
    {
        payloads.clear();
        timestampStep = ClockRate() / 1000 * kFramePeriodMs;
        const AccessUnit& unit = m_units[m_next];
        m_next = (m_next + 1) % m_units.size();

        std::vector<const Nal*> sent;
        for (const Nal& nal : unit) {
            const bool parameterSet = NalType(nal) == kNalSps || NalType(nal) == kNalPps;
            if (!parameterSet || m_options.h264ParameterSetsInBand)
                sent.push_back(&nal);
        }
        if (FillTo(sent, m_options.h264MinimumFrameBytes))
            sent.push_back(&m_filler);
        for (size_t i = 0; i < sent.size(); ++i) {
            if (m_options.h264Mode == H264Packetisation::NonInterleaved && i + 1 < sent.size() &&
                NalType(*sent[i]) == kNalSps && NalType(*sent[i + 1]) == kNalPps &&
                AggregateFits(*sent[i], *sent[i + 1])) {
                payloads.push_back({StapA(*sent[i], *sent[i + 1]), false});
                ++i;
            } else if (m_options.h264Mode == H264Packetisation::NonInterleaved &&
                       sent[i]->size() > m_options.maxPayloadSize) {
                AppendFuA(*sent[i], payloads);
            } else {
                payloads.push_back({*sent[i], false});
            }
        }
        if (!payloads.empty())
            payloads.back().marker = true;
    }

private:
    // Sizes m_filler to make up the access unit's shortfall; false when there is none.
    bool FillTo(const std::vector<const Nal*>& sent, size_t minimumBytes)
    {
        size_t bytes = 0;
        for (const Nal* nal : sent)
            bytes += 3 + nal->size();  // with its start code
        const size_t fillerHeaderAndEnd = 3 + 2;
        if (bytes + fillerHeaderAndEnd > minimumBytes)
            return false;
        m_filler.assign(minimumBytes - bytes - 3, 0xFF);
        m_filler.front() = kNalFiller;
        m_filler.back() = 0x80;  // rbsp_trailing_bits
        return true;
    }

    bool AggregateFits(const Nal& a, const Nal& b) const
    {
        return 1 + 2 + a.size() + 2 + b.size() <= m_options.maxPayloadSize;
    }

    static std::vector<uint8_t> StapA(const Nal& a, const Nal& b)
    {
        std::vector<uint8_t> bytes{static_cast<uint8_t>((a[0] & 0x60) | kStapA)};
        for (const Nal* nal : {&a, &b}) {
            bytes.push_back(static_cast<uint8_t>(nal->size() >> 8));
            bytes.push_back(static_cast<uint8_t>(nal->size()));
            bytes.insert(bytes.end(), nal->begin(), nal->end());
        }
        return bytes;
    }

    void AppendFuA(const Nal& nal, std::vector<RtpPayload>& payloads) const
    {
        const uint8_t indicator = static_cast<uint8_t>((nal[0] & 0xE0) | kFuA);
        const size_t chunk = m_options.maxPayloadSize > 3 ? m_options.maxPayloadSize - 2 : 1;
        for (size_t offset = 1; offset < nal.size(); offset += chunk) {
            const size_t end = std::min(nal.size(), offset + chunk);
            uint8_t header = NalType(nal);
            if (offset == 1)
                header |= 0x80;
            if (end == nal.size())
                header |= 0x40;
            RtpPayload payload{{}, false};
            payload.bytes.reserve(2 + end - offset);
            payload.bytes.push_back(indicator);
            payload.bytes.push_back(header);
            payload.bytes.insert(payload.bytes.end(), nal.begin() + offset, nal.begin() + end);
            payloads.push_back(std::move(payload));
        }
    }

    std::vector<AccessUnit> m_units;
    MediaSourceOptions m_options;
    Nal m_sps;
    Nal m_pps;
    Nal m_filler;
    size_t m_next = 0;
};

}  // namespace

std::unique_ptr<IMediaSource> OpenH264Source(const MediaSourceOptions& options)
{
    std::vector<uint8_t> stream;
    const std::string path = options.filePath.empty() ? SamplePath("sample640x480.h264") : options.filePath;
    if (!ReadWholeFile(path, stream))
        return nullptr;
    std::vector<AccessUnit> units = GroupAccessUnits(SplitNalUnits(stream));
    if (units.empty())
        return nullptr;
    return std::make_unique<CH264Source>(std::move(units), options);
}

}  // namespace camsim::media
