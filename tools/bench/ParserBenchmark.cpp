// Packets and bytes per second through ProcessPacket into host frames, for
// each payload parser fed the simulator's sample streams, and through the
// whole receive paths: datagrams read in batches into the receiver's pooled
// records and handed over through its queue, and the RTSP connection's
// interleaved byte stream read into the stream parser's window. Also reports, once the parser is
// warm, the heap allocations per packet and the bytes copied (memcpy and
// memmove) per payload byte, beside the bytes the host frames received.
#include <benchmark/benchmark.h>
#include <algorithm>

#include "AllocationCounter.h"
#include "CopyCounter.h"
#include "streaming/H264RTPMediaParser.h"
#include "streaming/JpegRTPMediaParser.h"
#include "streaming/Mpeg4RTPMediaParser.h"
#include "streaming/RTPPacketQueue.h"
#include "streaming/IRTSPClientUser.h"
#include "streaming/ParserTestSupport.h"
#include "streaming/RTSPStreamParser.h"

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
    }
    uint8_t* GetBuffer() override { return m_buffer.data(); }
    void SetDataSize(uint32_t size) override { m_bytesDelivered += size; }
    uint64_t BytesDelivered() const { return m_bytesDelivered; }
    void Commit() override {}
    void SetTime(const SYSTEMTIME* time) override { m_time = *time; }
    void GetTime(SYSTEMTIME* time) override { *time = m_time; }
    void SetFourCC(uint32_t) override {}
    void SetHeight(uint32_t) override {}
    void SetWidth(uint32_t) override {}
    void SetSizeClass(uint32_t) override {}

private:
    std::vector<uint8_t> m_buffer;
    uint64_t m_bytesDelivered = 0;
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
    uint64_t BytesDelivered() const { return m_frame.BytesDelivered(); }

private:
    CReusableFrame m_frame;
    size_t m_frames = 0;
};

// One loop of the sample as RTP payloads, built once.
struct SamplePayload {
    std::vector<uint8_t> bytes;
    bool marker;
    uint32_t timeStamp;
};

std::vector<SamplePayload> SamplePayloads(MediaCodec codec, size_t frames, const MediaSourceOptions& options)
{
    std::vector<SamplePayload> sample;
    auto source = camsim::OpenMediaSource(codec, options);
    std::vector<camsim::RtpPayload> payloads;
    uint32_t step = 0;
    uint32_t timeStamp = 0;
    for (size_t frame = 0; frame < frames; ++frame) {
        source->NextFrame(payloads, step);
        for (const camsim::RtpPayload& payload : payloads)
            sample.push_back({payload.bytes, payload.marker, timeStamp});
        timeStamp += step;
    }
    return sample;
}

// How the packets reach the parser.
enum class Input {
    Packets,      // parsed RTP packets, as the receiver's queue hands them on
    Datagrams,    // RTP datagrams read in batches into the receiver's queue, then taken from it
    Interleaved,  // the RTSP connection's byte stream, read in 8192-byte blocks
};

constexpr size_t kInterleavedReadSize = 8192;

std::vector<uint8_t> RtpDatagram(const SamplePayload& payload)
{
    std::vector<uint8_t> bytes{0x80, static_cast<uint8_t>((payload.marker ? 0x80 : 0) | 96), 0, 0};
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<uint8_t>(payload.timeStamp >> shift));
    bytes.insert(bytes.end(), {0x12, 0x34, 0x56, 0x78});  // SSRC
    bytes.insert(bytes.end(), payload.bytes.begin(), payload.bytes.end());
    return bytes;
}

void PutSequenceNumber(uint8_t* rtpHeader, uint16_t sequenceNumber)
{
    rtpHeader[2] = static_cast<uint8_t>(sequenceNumber >> 8);
    rtpHeader[3] = static_cast<uint8_t>(sequenceNumber);
}

// The RTSP client's user in interleaved mode: each packet goes to the parser.
class CInterleavedUser : public IRTSPClientUser {
public:
    explicit CInterleavedUser(CRTPMediaParser& parser) : m_parser(parser) {}
    bool SdpInfoReceived(const SdpInfo&) override { return true; }
    void InterleavedPacketReceived(const CRTPPacket& packet) override { m_parser.ProcessPacket(packet); }
    void SessionClosed() override {}

private:
    CRTPMediaParser& m_parser;
};

// Feeds one loop of the sample, numbering the packets on from the last loop.
class CSampleFeeder {
public:
    CSampleFeeder(Input input, std::vector<SamplePayload> sample, CRTPMediaParser& parser)
        : m_input(input), m_sample(std::move(sample)), m_parser(parser), m_user(parser), m_streamParser(&m_user)
    {
        for (const SamplePayload& payload : m_sample) {
            CRTPPacket packet;
            packet.m_marker = payload.marker ? 1 : 0;
            packet.m_timeStamp = payload.timeStamp;
            packet.SetPayload(payload.bytes.data(), payload.bytes.size());
            m_packets.push_back(packet);
            std::vector<uint8_t> datagram = RtpDatagram(payload);
            if (input == Input::Interleaved) {
                m_stream.insert(m_stream.end(), {'$', 0, static_cast<uint8_t>(datagram.size() >> 8),
                                                 static_cast<uint8_t>(datagram.size())});
                m_headerOffsets.push_back(m_stream.size());
                m_stream.insert(m_stream.end(), datagram.begin(), datagram.end());
            }
            m_datagrams.push_back(std::move(datagram));
        }
    }

    size_t PacketCount() const { return m_packets.size(); }
    size_t PayloadBytes() const
    {
        size_t bytes = 0;
        for (const SamplePayload& payload : m_sample)
            bytes += payload.bytes.size();
        return bytes;
    }

    [[gnu::noinline]] void FeedLoop()
    {
        switch (m_input) {
        case Input::Packets:
            for (CRTPPacket& packet : m_packets) {
                packet.m_sequenceNumber = m_sequenceNumber++;
                m_parser.ProcessPacket(packet);
            }
            break;
        case Input::Datagrams:
            for (size_t first = 0; first < m_datagrams.size(); first += m_batch.size())
                FeedBatch(first, std::min(m_batch.size(), m_datagrams.size() - first));
            break;
        case Input::Interleaved:
            for (size_t offset : m_headerOffsets)
                PutSequenceNumber(m_stream.data() + offset, m_sequenceNumber++);
            for (size_t offset = 0; offset < m_stream.size(); offset += kInterleavedReadSize) {
                const size_t length = std::min(kInterleavedReadSize, m_stream.size() - offset);
                CopyAsReadFromSocket(m_streamParser.ReceiveSpace(length), m_stream.data() + offset, length);
                m_streamParser.Process(length);
            }
            break;
        }
    }

private:
    static constexpr size_t kReceiveSize = 1536;

    // One batch read as the UDP client reads it, through the receiver's queue to the parser.
    void FeedBatch(size_t first, size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            std::vector<uint8_t>& datagram = m_datagrams[first + i];
            PutSequenceNumber(datagram.data(), m_sequenceNumber++);
            platform::ReceivedDatagram& slot = m_batch[i];
            slot.buffer.Reserve(kReceiveSize);
            CopyAsReadFromSocket(slot.buffer.Data(), datagram.data(), datagram.size());
            slot.length = datagram.size();
        }
        m_queue.Append(m_batch.data(), count);
        m_queue.TakeAll(m_records);
        for (const std::unique_ptr<RTPPacketRecord>& record : m_records)
            m_parser.ProcessPacket(record->packet);
        m_queue.Recycle(m_records);
    }

    Input m_input;
    std::vector<SamplePayload> m_sample;
    std::vector<CRTPPacket> m_packets;
    std::vector<std::vector<uint8_t>> m_datagrams;
    std::vector<uint8_t> m_stream;
    std::vector<size_t> m_headerOffsets;  // of each RTP header in the stream
    CRTPMediaParser& m_parser;
    CInterleavedUser m_user;
    CRTSPStreamParser m_streamParser;
    std::vector<platform::ReceivedDatagram> m_batch{platform::kReceiveBatchSize};
    CRTPPacketQueue m_queue;
    CRTPPacketQueue::Records m_records;
    uint16_t m_sequenceNumber = 0;
};

template <typename Parser, typename... Args>
void RunParser(benchmark::State& state, Input input, MediaCodec codec, size_t frames,
               const MediaSourceOptions& options, Args... args)
{
    FakeDriver driver;
    CReusableFrameHost host;
    CTestParserClient client(host, "127.0.0.1:80::RecStream");
    driver.allocator = &host;
    Parser parser(&driver, args...);
    parser.SetClient(&client);
    CSampleFeeder feeder(input, SamplePayloads(codec, frames, options), parser);
    const size_t payloadBytes = feeder.PayloadBytes();

    feeder.FeedLoop();  // warm: buffers reach their working size
    const size_t framesBefore = host.Frames();
    const uint64_t hostBytesBefore = host.BytesDelivered();
    const size_t allocationsBefore = HeapAllocations();
    const size_t copiedBefore = CopiedBytes();
    for (auto _ : state)
        feeder.FeedLoop();
    const size_t copied = CopiedBytes() - copiedBefore;
    const size_t allocations = HeapAllocations() - allocationsBefore;
    const size_t delivered = host.Frames() - framesBefore;
    const uint64_t hostBytes = host.BytesDelivered() - hostBytesBefore;

    const auto loops = static_cast<double>(state.iterations());
    const double packets = loops * static_cast<double>(feeder.PacketCount());
    const double bytes = loops * static_cast<double>(payloadBytes);
    state.SetItemsProcessed(static_cast<int64_t>(packets));
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(delivered), benchmark::Counter::kIsRate);
    // A warm receive path allocates nothing, per packet or per frame.
    state.counters["allocs/packet"] = static_cast<double>(allocations) / packets;
    state.counters["allocs/frame"] = delivered ? static_cast<double>(allocations) / static_cast<double>(delivered) : 0;
    // Bytes copied per payload byte, and the share of it that went into the host's frames.
    state.counters["copies/byte"] = static_cast<double>(copied) / bytes;
    state.counters["host/byte"] = static_cast<double>(hostBytes) / bytes;
    // For instruction counts per packet under callgrind (FeedLoop runs iterations + 1 times).
    state.counters["packets/loop"] = static_cast<double>(feeder.PacketCount());
    if (delivered != static_cast<size_t>(loops) * frames)
        state.SkipWithError("not every frame was delivered");
}

void BM_H264FuA(benchmark::State& state, Input input)
{
    RunParser<CH264RTPMediaParser>(state, input, MediaCodec::H264, 50, MediaSourceOptions());
}

void BM_H264SingleNal(benchmark::State& state)
{
    MediaSourceOptions options;
    options.h264Mode = camsim::H264Packetisation::SingleNal;
    RunParser<CH264RTPMediaParser>(state, Input::Packets, MediaCodec::H264, 50, options);
}

void BM_JpegTablesInBand(benchmark::State& state, Input input)
{
    RunParser<CJpegRTPMediaParser>(state, input, MediaCodec::Jpeg, 20, MediaSourceOptions());
}

void BM_JpegTablesFromQ(benchmark::State& state)
{
    MediaSourceOptions options;
    options.jpegQ = 75;
    RunParser<CJpegRTPMediaParser>(state, Input::Packets, MediaCodec::Jpeg, 20, options);
}

void BM_Mpeg4(benchmark::State& state, Input input)
{
    RunParser<CMpeg4RTPMediaParser>(state, input, MediaCodec::Mpeg4, 20, MediaSourceOptions(),
                                    std::string("libquarnel-not-installed.so"));
}

BENCHMARK_CAPTURE(BM_H264FuA, Packets, Input::Packets);
BENCHMARK_CAPTURE(BM_H264FuA, Datagrams, Input::Datagrams);
BENCHMARK_CAPTURE(BM_H264FuA, Interleaved, Input::Interleaved);
BENCHMARK(BM_H264SingleNal);
BENCHMARK_CAPTURE(BM_JpegTablesInBand, Packets, Input::Packets);
BENCHMARK_CAPTURE(BM_JpegTablesInBand, Datagrams, Input::Datagrams);
BENCHMARK_CAPTURE(BM_JpegTablesInBand, Interleaved, Input::Interleaved);
BENCHMARK(BM_JpegTablesFromQ);
BENCHMARK_CAPTURE(BM_Mpeg4, Packets, Input::Packets);
BENCHMARK_CAPTURE(BM_Mpeg4, Datagrams, Input::Datagrams);
BENCHMARK_CAPTURE(BM_Mpeg4, Interleaved, Input::Interleaved);

}  // namespace
}  // namespace korvane::test
