// Malformed payloads reset the parsers, which then carry on with the stream;
// nothing is read or written out of bounds (run under the sanitizer build).
#include <gtest/gtest.h>

#include <random>

#include "streaming/H264RTPMediaParser.h"
#include "streaming/JpegRTPMediaParser.h"
#include "streaming/Mpeg4RTPMediaParser.h"
#include "streaming/ParserTestSupport.h"

namespace korvane::test {
namespace {

using camsim::MediaCodec;
using camsim::MediaSourceOptions;

constexpr const char* kOverflowLine =
    "korvane::CRTPMediaParser::CheckBufferSize: Frame buffer overflow detected, device 127.0.0.1:80";

// Feeds `before` frames of the sample, the bad payload, then `after` frames.
template <typename Parser, typename... Args>
size_t FramesAroundBadPayload(MediaCodec codec, const std::vector<uint8_t>& bad, size_t before, size_t after,
                              Args&&... args)
{
    ParserRig<Parser> rig("127.0.0.1:80::RecStream", std::forward<Args>(args)...);
    auto source = OpenSource(codec);
    rig.feeder->FeedFrames(*source, before);
    rig.feeder->Feed(bad, true, 1);
    rig.feeder->FeedFrames(*source, after);
    EXPECT_TRUE(rig.AllFramesReleased());
    return rig.host.FrameCount();
}

TEST(ParserMalformedInput, H264PacketsThatResetUntilTheNextKeyFrame)
{
    const std::vector<std::vector<uint8_t>> bad = {
        {},                                  // empty
        {0x41},                              // single NAL unit of one byte
        {0x00, 0x11, 0x22}, {0x19, 0x11, 0x22}, {0x1A, 0x11, 0x22}, {0x1B, 0x11, 0x22},
        {0x1D, 0x11, 0x22}, {0x1E, 0x11, 0x22}, {0x1F, 0x11, 0x22},  // unsupported types
        {0x18, 0x00, 0x05},                  // STAP-A shorter than 4 bytes
        {0x18, 0x00, 0x09, 0x41, 0x42},      // STAP-A size past the end
        {0x18, 0x00, 0x02, 0x41, 0x42, 0xFF, 0xFF, 0x41},  // second size past the end
        {0x7C, 0x05},                        // FU-A shorter than 3 bytes
        {0x7C, 0x05, 0x11, 0x22},            // FU-A continuation without a start
        {0x7C, 0x45, 0x11, 0x22},            // FU-A end without a start
    };
    for (const std::vector<uint8_t>& payload : bad) {
        SCOPED_TRACE(::testing::PrintToString(payload));
        // Frames 0-4 are delivered; 5-24 wait for the key frame at 25.
        EXPECT_EQ(FramesAroundBadPayload<CH264RTPMediaParser>(MediaCodec::H264, payload, 5, 45), 5u + 25u);
    }
}

TEST(ParserMalformedInput, JpegHeadersThatCannotBeRebuilt)
{
    const auto header = [](uint8_t type, uint8_t q) { return std::vector<uint8_t>{0, 0, 0, 0, type, q, 40, 30}; };
    std::vector<std::vector<uint8_t>> bad = {
        {0x00, 0x00},                  // shorter than 4 bytes
        {0, 0, 0, 0, 1, 50, 40},        // no room for the main header
        {0, 0, 0x10, 0, 1, 50, 40, 30, 1, 2, 3, 4},  // continuation without a first fragment
    };
    std::vector<uint8_t> tablesPastEnd = header(1, 255);
    tablesPastEnd.insert(tablesPastEnd.end(), {0, 0, 0x01, 0x00});  // 256 table bytes announced
    tablesPastEnd.insert(tablesPastEnd.end(), 100, 7);
    bad.push_back(tablesPastEnd);
    std::vector<uint8_t> hugeTables = header(1, 255);
    hugeTables.insert(hugeTables.end(), {0, 0, 0x03, 0xE8});  // 1000 table bytes do not fit the headers
    hugeTables.insert(hugeTables.end(), 1200, 7);
    bad.push_back(hugeTables);
    std::vector<uint8_t> noData = header(1, 255);
    noData.insert(noData.end(), {0, 0, 0, 64});
    noData.insert(noData.end(), 64, 7);  // tables and nothing after them
    bad.push_back(noData);
    bad.push_back({0, 0, 0, 0, 65, 255, 40, 30, 0, 0});  // restart header cut short
    bad.push_back({0, 0, 0, 0, 1, 255, 40, 30, 0, 0});   // table header cut short
    for (const std::vector<uint8_t>& payload : bad) {
        SCOPED_TRACE(::testing::PrintToString(std::vector<uint8_t>(payload.begin(), payload.begin() + std::min<size_t>(12, payload.size()))));
        EXPECT_EQ(FramesAroundBadPayload<CJpegRTPMediaParser>(MediaCodec::Jpeg, payload, 3, 5), 3u + 5u);
    }
}

TEST(ParserMalformedInput, JpegTableHeaderWithNonZeroMbzFallsBackToTablesFromQ)
{
    std::vector<uint8_t> payload = {0, 0, 0, 0, 1, 200, 40, 30, 1, 0, 0, 128};
    payload.insert(payload.end(), 700, 5);
    ParserRig<CJpegRTPMediaParser> rig;
    rig.feeder->Feed(payload, true, 0);
    ASSERT_EQ(rig.host.FrameCount(), 1u);
    EXPECT_EQ(rig.host.Frames()[0].bytes.size(), 2 + 18 + 69 + 69 + 19 + 432 + 14 + (payload.size() - 12) + 2);
}

template <typename Parser, typename... Args>
void ExpectOverflowDiscardsTheFrame(const std::vector<uint8_t>& first, const std::vector<uint8_t>& continuation,
                                    Args&&... args)
{
    ParserRig<Parser> rig("127.0.0.1:80::RecStream", std::forward<Args>(args)...);
    rig.feeder->Feed(first, false, 0);
    const size_t packets = CRTPMediaParser::kMaxFrameSize / continuation.size() + 2;
    for (size_t i = 0; i < packets; ++i)
        rig.feeder->Feed(continuation, i + 1 == packets, 0);
    EXPECT_TRUE(rig.driver.HasLineContaining(kOverflowLine));
    EXPECT_EQ(rig.host.FrameCount(), 0u);
    EXPECT_EQ(rig.host.Allocations(), 0u);
}

TEST(ParserMalformedInput, FramesOverTenMebibytesAreDiscardedAndOneOfExactlyTenIsKept)
{
    std::vector<uint8_t> fuStart = {0x7C, 0x85};
    std::vector<uint8_t> fuMiddle = {0x7C, 0x05};
    fuStart.resize(60000, 0x11);
    fuStart[2] = 0x91;  // the picture's first slice: first_mb_in_slice 0
    fuMiddle.resize(60000, 0x11);
    ExpectOverflowDiscardsTheFrame<CH264RTPMediaParser>(fuStart, fuMiddle);

    std::vector<uint8_t> jpegFirst = {0, 0, 0, 0, 1, 50, 40, 30};
    std::vector<uint8_t> jpegNext = {0, 0, 0, 1, 1, 50, 40, 30};
    jpegFirst.resize(60000, 0x22);
    jpegNext.resize(60000, 0x22);
    ExpectOverflowDiscardsTheFrame<CJpegRTPMediaParser>(jpegFirst, jpegNext);

    std::vector<uint8_t> intraVop = {0, 0, 1, 0xB6, 0x10};
    std::vector<uint8_t> vopData(60000, 0x33);
    intraVop.resize(60000, 0x33);
    ExpectOverflowDiscardsTheFrame<CMpeg4RTPMediaParser>(intraVop, vopData, std::string("libquarnel-not-installed.so"));

    // A frame of exactly ten mebibytes is kept.
    ParserRig<CJpegRTPMediaParser> rig;
    std::vector<uint8_t> first = {0, 0, 0, 0, 1, 50, 40, 30};
    first.resize(CRTPMediaParser::kMaxFrameSize, 0x22);
    rig.feeder->Feed(first, true, 0);
    EXPECT_EQ(rig.host.FrameCount(), 1u);
    EXPECT_FALSE(rig.driver.HasLineContaining(kOverflowLine));
}

// Mutates real packets: flipped bytes, cut or padded payloads, wrong markers, losses.
class CPacketMutator {
public:
    explicit CPacketMutator(uint32_t seed) : m_random(seed) {}

    void Mutate(std::vector<uint8_t>& payload, bool& marker)
    {
        switch (Below(8)) {
        case 0:
            if (!payload.empty())
                payload[Below(std::min<size_t>(payload.size(), 24))] = static_cast<uint8_t>(Below(256));
            break;
        case 1:
            payload.resize(Below(payload.size() + 1));
            break;
        case 2:
            for (size_t i = Below(40); i > 0; --i)
                payload.push_back(static_cast<uint8_t>(Below(256)));
            break;
        case 3:
            marker = !marker;
            break;
        case 4:
            for (size_t i = Below(6); i > 0 && !payload.empty(); --i)
                payload[Below(payload.size())] = static_cast<uint8_t>(Below(256));
            break;
        default:
            break;  // unchanged
        }
    }
    bool Lose() { return Below(40) == 0; }

private:
    size_t Below(size_t bound) { return bound == 0 ? 0 : std::uniform_int_distribution<size_t>(0, bound - 1)(m_random); }
    std::mt19937 m_random;
};

// After a mutated stream, a clean one (from a sequence gap on) is reassembled as if nothing happened.
template <typename Parser, typename... Args>
void ExpectRecoveryFromMutatedStream(MediaCodec codec, size_t loops, size_t framesPerLoop, Args... args)
{
    ParserRig<Parser> clean("127.0.0.1:80::RecStream", args...);
    auto cleanSource = OpenSource(codec);
    clean.feeder->FeedFrames(*cleanSource, framesPerLoop);

    ParserRig<Parser> rig("127.0.0.1:80::RecStream", args...);
    auto source = OpenSource(codec);
    CPacketMutator mutator(1234);
    std::vector<camsim::RtpPayload> payloads;
    uint32_t step;
    for (size_t frame = 0; frame < loops * framesPerLoop; ++frame) {
        source->NextFrame(payloads, step);
        for (camsim::RtpPayload& payload : payloads) {
            if (mutator.Lose()) {
                rig.feeder->SkipSequenceNumber();
                continue;
            }
            mutator.Mutate(payload.bytes, payload.marker);
            rig.feeder->Feed(payload.bytes, payload.marker, static_cast<uint32_t>(frame * step));
        }
    }
    EXPECT_TRUE(rig.AllFramesReleased());
    const size_t framesBefore = rig.host.FrameCount();
    EXPECT_GT(framesBefore, 0u);

    rig.feeder->SkipSequenceNumber();
    auto fresh = OpenSource(codec);
    rig.feeder->FeedFrames(*fresh, framesPerLoop);
    const std::vector<DeliveredFrame> expected = clean.host.Frames();
    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    ASSERT_EQ(frames.size(), framesBefore + expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(frames[framesBefore + i].bytes, expected[i].bytes) << "frame " << i;
    EXPECT_TRUE(rig.AllFramesReleased());
}

TEST(ParserMalformedInput, EveryParserRecoversFromAMutatedStream)
{
    ExpectRecoveryFromMutatedStream<CH264RTPMediaParser>(MediaCodec::H264, 20, 50);
    ExpectRecoveryFromMutatedStream<CJpegRTPMediaParser>(MediaCodec::Jpeg, 10, 20);
    ExpectRecoveryFromMutatedStream<CMpeg4RTPMediaParser>(MediaCodec::Mpeg4, 10, 20,
                                                          std::string("libquarnel-not-installed.so"));
}

}  // namespace
}  // namespace korvane::test
