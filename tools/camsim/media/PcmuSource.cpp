#include "camsim/media/PcmuSource.h"

#include "camsim/media/MediaFile.h"

namespace camsim::media {
namespace {

constexpr uint32_t kClockRate = 8000;
constexpr uint32_t kPacketMs = 20;
constexpr size_t kSamplesPerPacket = kClockRate / 1000 * kPacketMs;

class CPcmuSource : public IMediaSource {
public:
    explicit CPcmuSource(std::vector<uint8_t> samples) : m_samples(std::move(samples)) {}

    std::string EncodingName() const override { return "PCMU/8000"; }
    uint8_t PayloadType() const override { return 0; }
    uint32_t ClockRate() const override { return kClockRate; }
    std::string FmtpAttributes() const override { return ""; }
    std::string MediaType() const override { return "audio"; }
    uint32_t FramePeriodMs() const override { return kPacketMs; }

    void NextFrame(std::vector<RtpPayload>& payloads, uint32_t& timestampStep) override
    {
        RtpPayload payload{std::vector<uint8_t>(kSamplesPerPacket), m_first};  // marker: start of the talkspurt
        m_first = false;
        for (uint8_t& sample : payload.bytes) {
            sample = m_samples[m_next];
            m_next = (m_next + 1) % m_samples.size();
        }
        payloads.assign(1, std::move(payload));
        timestampStep = kSamplesPerPacket;
    }

private:
    std::vector<uint8_t> m_samples;
    size_t m_next = 0;
    bool m_first = true;
};

}  // namespace

std::unique_ptr<IMediaSource> OpenPcmuSource(const MediaSourceOptions& options)
{
    std::vector<uint8_t> samples;
    if (!ReadWholeFile(options.filePath.empty() ? SamplePath("sample8k.ulaw") : options.filePath, samples))
        return nullptr;
    return std::make_unique<CPcmuSource>(std::move(samples));
}

}  // namespace camsim::media
