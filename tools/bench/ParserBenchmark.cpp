// Packets and bytes per second through ProcessPacket into host frames, for
// each payload parser fed the simulator's sample streams, and through the
// whole receive paths: datagrams parsed into RTP packets, and the RTSP
// connection's interleaved byte stream. Also reports, once the parser is
// warm, the heap allocations per packet and the bytes copied (memcpy and
// memmove) per payload byte, beside the bytes the host frames received.
#include <benchmark/benchmark.h>
#include <algorithm>

#include "AllocationCounter.h"
#include "CopyCounter.h"
#include "streaming/H264RTPMediaParser.h"
#include "streaming/JpegRTPMediaParser.h"
#include "streaming/Mpeg4RTPMediaParser.h"
#include "streaming/RTPPacketRecord.h"
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

// How the packets reach the parser.
enum class Input {
    Packets,      // parsed RTP packets, as the receiver's queue hands them on
    Datagrams,    // RTP datagrams, parsed into records as the UDP receiver does (without its queue)
    Interleaved,  // the RTSP connection's byte stream, read in 8192-byte blocks
};

constexpr size_t kInterleavedReadSize = 8192;

std::vector<uint8_t> RtpDatagram(const CRTPPacket& packet)
{
    std::vector<uint8_t> bytes{0x80, static_cast<uint8_t>((packet.m_marker ? 0x80 : 0) | 96), 0, 0};
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<uint8_t>(packet.m_timeStamp >> shift));
    bytes.insert(bytes.end(), {0x12, 0x34, 0x56, 0x78});  // SSRC
    bytes.insert(bytes.end(), packet.m_payload.begin(), packet.m_payload.end());
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
    CSampleFeeder(Input input, std::vector<CRTPPacket> packets, CRTPMediaParser& parser)
        : m_input(input), m_packets(std::move(packets)), m_parser(parser), m_user(parser), m_streamParser(&m_user)
    {
        for (const CRTPPacket& packet : m_packets) {
            std::vector<uint8_t> datagram = RtpDatagram(packet);
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
        for (const CRTPPacket& packet : m_packets)
            bytes += packet.m_payload.size();
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
            for (std::vector<uint8_t>& datagram : m_datagrams) {
                PutSequenceNumber(datagram.data(), m_sequenceNumber++);
                auto record = std::make_unique<RTPPacketRecord>();  // one per datagram, as queued
                record->packet.Parse(datagram.data(), datagram.size());
                m_parser.ProcessPacket(record->packet);
            }
            break;
        case Input::Interleaved:
            for (size_t offset : m_headerOffsets)
                PutSequenceNumber(m_stream.data() + offset, m_sequenceNumber++);
            for (size_t offset = 0; offset < m_stream.size(); offset += kInterleavedReadSize)
                m_streamParser.Process(m_stream.data() + offset,
                                       std::min(kInterleavedReadSize, m_stream.size() - offset));
            break;
        }
    }

private:
    Input m_input;
    std::vector<CRTPPacket> m_packets;
    std::vector<std::vector<uint8_t>> m_datagrams;
    std::vector<uint8_t> m_stream;
    std::vector<size_t> m_headerOffsets;  // of each RTP header in the stream
    CRTPMediaParser& m_parser;
    CInterleavedUser m_user;
    CRTSPStreamParser m_streamParser;
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
    CSampleFeeder feeder(input, SamplePackets(codec, frames, options), parser);
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
    // The channel's stream name is the only allocation per frame; none per packet.
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
