// Packets and bytes per second through ProcessPacket into host frames, for
// each payload parser fed the simulator's sample streams. Also reports the
// heap allocations per packet once the parser is warm.
#include <benchmark/benchmark.h>

#include "AllocationCounter.h"
#include "streaming/H264RTPMediaParser.h"
#include "streaming/JpegRTPMediaParser.h"
#include "streaming/Mpeg4RTPMediaParser.h"
#include "streaming/ParserTestSupport.h"

namespace korvane::test {
namespace {

using camsim::MediaCodec;
using camsim::MediaSourceOptions;

// A host that hands out one reusable frame, so the allocations counted are the parser's own.
class CReusableFrame : public ipcapture::IHostFrame {
public:
    void Prepare(uint32_t size)
    {
        if (m_buffer.size() < size)
            m_buffer.resize(size);
        m_size = size;
    }
    uint32_t GetBufferSize() override { return m_size; }
    uint8_t* GetBuffer() override { return m_buffer.data(); }
    uint32_t GetDataSize() override { return m_dataSize; }
    void SetDataSize(uint32_t size) override { m_dataSize = size; }
    void Commit() override {}
    void SetTime(const SYSTEMTIME* time) override { m_time = *time; }
    void GetTime(SYSTEMTIME* time) override { *time = m_time; }
    void SetFourCC(uint32_t fourCC) override { m_fourCC = fourCC; }
    uint32_t GetFourCC() override { return m_fourCC; }
    void SetHeight(uint32_t height) override { m_height = height; }
    uint32_t GetHeight() override { return m_height; }
    void SetWidth(uint32_t width) override { m_width = width; }
    uint32_t GetWidth() override { return m_width; }
    void SetSizeClass(uint32_t) override {}

private:
    std::vector<uint8_t> m_buffer;
    uint32_t m_size = 0;
    uint32_t m_dataSize = 0;
    uint32_t m_fourCC = 0;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    SYSTEMTIME m_time{};
};

class CReusableFrameHost : public ipcapture::IFrameAllocator, public ipcapture::IFrameSink {
public:
    ipcapture::IHostFrame* AllocateFrame(uint32_t, uint32_t size, const char*) override
    {
        m_frame.Prepare(size);
        return &m_frame;
    }
    ipcapture::IAudioData* AllocateAudioFrame(uint32_t, uint32_t, const char*) override { return nullptr; }
    void ReleaseAudioFrame(ipcapture::IAudioData*) override {}
    void ReleaseFrame(ipcapture::IHostFrame*) override {}
    bool OnFrame(ipcapture::IHostFrame* frame) override
    {
        benchmark::DoNotOptimize(frame->GetBuffer()[0]);
        ++m_frames;
        return true;
    }
    void OnSignalLost() override {}
    size_t Frames() const { return m_frames; }

private:
    CReusableFrame m_frame;
    size_t m_frames = 0;
};

// One loop of the sample as RTP packets, built once.
std::vector<CRTPPacket> SamplePackets(MediaCodec codec, size_t frames, const MediaSourceOptions& options)
{
    std::vector<CRTPPacket> packets;
    auto source = camsim::OpenMediaSource(codec, options);
    std::vector<camsim::RtpPayload> payloads;
    uint32_t step = 0;
    uint32_t timeStamp = 0;
    for (size_t frame = 0; frame < frames; ++frame) {
        source->NextFrame(payloads, step);
        for (const camsim::RtpPayload& payload : payloads) {
            CRTPPacket packet;
            packet.m_marker = payload.marker ? 1 : 0;
            packet.m_timeStamp = timeStamp;
            packet.m_payload.assign(payload.bytes.begin(), payload.bytes.end());
            packets.push_back(std::move(packet));
        }
        timeStamp += step;
    }
    return packets;
}

template <typename Parser, typename... Args>
void RunParser(benchmark::State& state, MediaCodec codec, size_t frames, const MediaSourceOptions& options,
               Args... args)
{
    FakeDriver driver;
    CReusableFrameHost host;
    CTestParserClient client(host, "127.0.0.1:80::RecStream");
    driver.allocator = &host;
    Parser parser(&driver, args...);
    parser.SetClient(&client);
    std::vector<CRTPPacket> packets = SamplePackets(codec, frames, options);
    size_t payloadBytes = 0;
    for (const CRTPPacket& packet : packets)
        payloadBytes += packet.m_payload.size();

    uint16_t sequenceNumber = 0;
    const auto feedLoop = [&] {
        for (CRTPPacket& packet : packets) {
            packet.m_sequenceNumber = sequenceNumber++;
            parser.ProcessPacket(packet);
        }
    };
    feedLoop();  // warm: buffers reach their working size
    const size_t framesBefore = host.Frames();
    const size_t allocationsBefore = HeapAllocations();
    for (auto _ : state)
        feedLoop();
    const size_t allocations = HeapAllocations() - allocationsBefore;
    const size_t delivered = host.Frames() - framesBefore;

    const auto loops = static_cast<double>(state.iterations());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * packets.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * payloadBytes));
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(delivered), benchmark::Counter::kIsRate);
    // The channel's stream name is the only allocation per frame; none per packet.
    state.counters["allocs/packet"] = static_cast<double>(allocations) / (loops * static_cast<double>(packets.size()));
    state.counters["allocs/frame"] = delivered ? static_cast<double>(allocations) / static_cast<double>(delivered) : 0;
    if (delivered != static_cast<size_t>(loops) * frames)
        state.SkipWithError("not every frame was delivered");
}

void BM_H264FuA(benchmark::State& state)
{
    RunParser<CH264RTPMediaParser>(state, MediaCodec::H264, 50, MediaSourceOptions());
}

void BM_H264SingleNal(benchmark::State& state)
{
    MediaSourceOptions options;
    options.h264Mode = camsim::H264Packetisation::SingleNal;
    RunParser<CH264RTPMediaParser>(state, MediaCodec::H264, 50, options);
}

void BM_JpegTablesInBand(benchmark::State& state)
{
    RunParser<CJpegRTPMediaParser>(state, MediaCodec::Jpeg, 20, MediaSourceOptions());
}

void BM_JpegTablesFromQ(benchmark::State& state)
{
    MediaSourceOptions options;
    options.jpegQ = 75;
    RunParser<CJpegRTPMediaParser>(state, MediaCodec::Jpeg, 20, options);
}

void BM_Mpeg4(benchmark::State& state)
{
    RunParser<CMpeg4RTPMediaParser>(state, MediaCodec::Mpeg4, 20, MediaSourceOptions(),
                                    std::string("libquarnel-not-installed.so"));
}

BENCHMARK(BM_H264FuA);
BENCHMARK(BM_H264SingleNal);
BENCHMARK(BM_JpegTablesInBand);
BENCHMARK(BM_JpegTablesFromQ);
BENCHMARK(BM_Mpeg4);

}  // namespace
}  // namespace korvane::test
