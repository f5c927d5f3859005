#pragma once
// Payload parser fixtures: a channel stand-in forwarding frames to a recording host, packet building and feeding.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "camsim/media/MediaSource.h"
#include "streaming/H264RTPMediaParser.h"
#include "streaming/JpegRTPMediaParser.h"
#include "streaming/Mpeg4RTPMediaParser.h"
#include "streaming/RTPPacket.h"
#include "streaming/SdpInfo.h"
#include "support/FakeDriver.h"
#include "support/FrameHost.h"

namespace korvane::test {

// The channel's side of a parser: frames go to the host, frame times follow the RTP time stamp (to be recognised).
class CTestParserClient : public IMediaParserClient {
public:
    CTestParserClient(ipcapture::IFrameSink& sink, std::string streamName) : m_sink(sink), m_streamName(streamName) {}
    bool FrameReady(ipcapture::IHostFrame* frame) override { return m_sink.OnFrame(frame); }
    void GetRequestedSize(uint32_t& width, uint32_t& height) override { width = height = 0; }
    const std::string& GetStreamName() override { return m_streamName; }
    void GetFrameTime(uint32_t rtpTimeStamp, SYSTEMTIME& time) override { time = FrameTimeFor(rtpTimeStamp); }

    static SYSTEMTIME FrameTimeFor(uint32_t rtpTimeStamp)
    {
        return {2026, 12, 0, 6, 0, 0, static_cast<uint16_t>(rtpTimeStamp / 90000 % 60),
                static_cast<uint16_t>(rtpTimeStamp / 90 % 1000)};
    }

private:
    ipcapture::IFrameSink& m_sink;
    std::string m_streamName;
};

// Numbers packets in sequence and hands them to a parser.
class CPacketFeeder {
public:
    explicit CPacketFeeder(CRTPMediaParser& parser) : m_parser(parser) {}

    void Feed(const std::vector<uint8_t>& payload, bool marker, uint32_t timeStamp)
    {
        CRTPPacket packet;
        packet.m_sequenceNumber = m_sequenceNumber++;
        packet.m_timeStamp = timeStamp;
        packet.m_marker = marker ? 1 : 0;
        packet.m_payloadType = 96;
        packet.SetPayload(payload.data(), payload.size());
        m_parser.ProcessPacket(packet);
    }
    void SkipSequenceNumber() { ++m_sequenceNumber; }

    // Feeds `frames` access units of the source; `drop(frame, packet, payload)` true skips a packet, and may change
    // the payload.
    using Dropper = std::function<bool(size_t, size_t, camsim::RtpPayload&)>;
    void FeedFrames(camsim::IMediaSource& source, size_t frames, const Dropper& drop = {})
    {
        std::vector<camsim::RtpPayload> payloads;
        uint32_t step = 0;
        for (size_t frame = 0; frame < frames; ++frame) {
            source.NextFrame(payloads, step);
            for (size_t i = 0; i < payloads.size(); ++i) {
                if (drop && drop(frame, i, payloads[i]))
                    SkipSequenceNumber();
                else
                    Feed(payloads[i].bytes, payloads[i].marker, m_timeStamp);
            }
            m_timeStamp += step;
        }
    }

private:
    CRTPMediaParser& m_parser;
    uint16_t m_sequenceNumber = 65500;  // wraps within the tests
    uint32_t m_timeStamp = 90000;
};

constexpr const char* kNoHeaderLibrary = "libquarnel-not-installed.so";

// A parser wired to a fake driver and a recording host.
template <typename Parser = CRTPMediaParser>
struct ParserRig {
    template <typename... Args>
    explicit ParserRig(const std::string& streamName = "127.0.0.1:80::RecStream", Args&&... args)
        : client(host, streamName)
    {
        Attach(std::make_unique<Parser>(&driver, std::forward<Args>(args)...));
    }
    // The codec's parser; the MPEG-4 one loads the given header parser library.
    explicit ParserRig(camsim::MediaCodec codec, const std::string& mpeg4Library = kNoHeaderLibrary,
                       const std::string& streamName = "127.0.0.1:80::RecStream")
        : client(host, streamName)
    {
        if (codec == camsim::MediaCodec::H264)
            Attach(std::make_unique<CH264RTPMediaParser>(&driver));
        else if (codec == camsim::MediaCodec::Jpeg)
            Attach(std::make_unique<CJpegRTPMediaParser>(&driver));
        else
            Attach(std::make_unique<CMpeg4RTPMediaParser>(&driver, mpeg4Library));
    }
    // Every frame the parser took from the host went back.
    bool AllFramesReleased() const { return host.OutstandingFrames() == 0 && host.Allocations() == host.Releases(); }

    FakeDriver driver;
    CFrameHost host;
    CTestParserClient client;
    std::unique_ptr<Parser> parser;
    std::unique_ptr<CPacketFeeder> feeder;

private:
    void Attach(std::unique_ptr<Parser> made)
    {
        driver.allocator = &host;
        parser = std::move(made);
        parser->SetClient(&client);
        feeder = std::make_unique<CPacketFeeder>(*parser);
    }
};

// The payloads of the source's first access unit.
inline std::vector<camsim::RtpPayload> FirstFramePayloads(camsim::MediaCodec codec,
                                                          const camsim::MediaSourceOptions& options = {})
{
    std::vector<camsim::RtpPayload> payloads;
    uint32_t step = 0;
    camsim::OpenMediaSource(codec, options)->NextFrame(payloads, step);
    return payloads;
}

// The parameter sets of an H.264 sample (no path: the simulator's) as a description carries them.
inline SdpInfo H264SampleDescription(const std::string& filePath = {})
{
    camsim::MediaSourceOptions single;
    single.filePath = filePath;
    single.h264Mode = camsim::H264Packetisation::SingleNal;
    const std::vector<camsim::RtpPayload> payloads = FirstFramePayloads(camsim::MediaCodec::H264, single);
    SdpInfo sdp;
    sdp.sequenceParameterSet = payloads.at(0).bytes;
    sdp.pictureParameterSet = payloads.at(1).bytes;
    return sdp;
}

inline bool EndsWith(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& tail)
{
    return bytes.size() >= tail.size() && std::equal(tail.begin(), tail.end(), bytes.end() - tail.size());
}

inline bool StartsWith(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& head)
{
    return bytes.size() >= head.size() && std::equal(head.begin(), head.end(), bytes.begin());
}

}  // namespace korvane::test
