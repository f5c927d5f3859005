// What the three payload parsers share: reassembling the simulator's samples, resuming after losses and
// malformed payloads, and the frame size limit. Nothing is read or written out of bounds (sanitizer build).
#include <gtest/gtest.h>

#include <random>

#include "streaming/ParserTestSupport.h"

namespace korvane::test {
namespace {

using camsim::H264Packetisation;
using camsim::MediaCodec;
using camsim::MediaSourceOptions;

// The sample's configuration headers (VOS, VO, VOL and user data) in front of its first VOP.
std::vector<uint8_t> Mpeg4Config()
{
    const std::vector<uint8_t> first = FirstFramePayloads(MediaCodec::Mpeg4).at(0).bytes;
    for (size_t i = 4; i + 4 <= first.size(); ++i) {
        if (first[i] == 0 && first[i + 1] == 0 && first[i + 2] == 1 && (first[i + 3] == 0xB6 || first[i + 3] == 0xB3))
            return std::vector<uint8_t>(first.begin(), first.begin() + i);
    }
    return {};
}

// What a codec's sample gives.
struct Sample {
    size_t frames;
    size_t gopLength;  // a key frame every gopLength frames, from the first on
    uint32_t frameStep;
    uint32_t width;
    uint32_t height;
    uint32_t sizeClass;
    bool storesPictureSize;  // for the kind of stream the frames belong to
    uint32_t keyFourCC;
    uint32_t otherFourCC;
    std::vector<uint8_t> keyFrameStart;  // how key frames start and other frames do not
    std::vector<uint8_t> end;            // how every frame ends
    std::vector<std::string> calls;      // the frame setters in the host's order
};

Sample SampleOf(MediaCodec codec)
{
    const std::vector<std::string> sizeFirst = {"SetWidth", "SetHeight", "SetSizeClass", "SetDataSize", "SetFourCC",
                                                "SetTime"};
    if (codec == MediaCodec::H264)
        return {50, 25, 3600, 640, 480, 4, true, CH264RTPMediaParser::kFourCCKeyFrame,
                CH264RTPMediaParser::kFourCCOtherFrame, {0, 0, 1, 0x67}, {0, 0, 0, 1, 9}, sizeFirst};
    if (codec == MediaCodec::Jpeg)
        return {20, 1, 9000, 320, 240, 2, true, CJpegRTPMediaParser::kFourCC, CJpegRTPMediaParser::kFourCC,
                {0xFF, 0xD8}, {0xFF, 0xD9}, {"SetDataSize", "SetWidth", "SetHeight", "SetSizeClass", "SetTime"}};
    return {20, 10, 9000, 352, 288, 2, false, CMpeg4RTPMediaParser::kFourCCKeyFrame,
            CMpeg4RTPMediaParser::kFourCCOtherFrame, Mpeg4Config(), {}, sizeFirst};
}

TEST(PayloadParser, ReassemblesEveryFrameOfTheSamples)
{
    struct Case {
        const char* name;
        MediaCodec codec;
        MediaSourceOptions options;
        const char* streamName;
    };
    Case cases[] = {{"H.264 STAP-A and FU-A", MediaCodec::H264, {}, "127.0.0.1:80::RecStream"},
                    {"H.264 single NAL units", MediaCodec::H264, {}, "127.0.0.1:80::LiveStream"},
                    {"JPEG tables in band", MediaCodec::Jpeg, {}, "127.0.0.1:80::RecStream"},
                    {"JPEG tables from Q", MediaCodec::Jpeg, {}, "127.0.0.1:80::RecStream"},
                    {"MPEG-4 built-in header parser", MediaCodec::Mpeg4, {}, "127.0.0.1:80::RecStream"}};
    cases[0].options.maxPayloadSize = cases[1].options.maxPayloadSize = 900;
    cases[1].options.h264Mode = H264Packetisation::SingleNal;
    cases[3].options.jpegQ = 80;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Sample sample = SampleOf(c.codec);
        ParserRig<> rig(c.codec, kNoHeaderLibrary, c.streamName);
        rig.feeder->FeedFrames(*OpenSource(c.codec, c.options), sample.frames);

        const std::vector<DeliveredFrame> frames = rig.host.Frames();
        ASSERT_EQ(frames.size(), sample.frames);
        for (size_t i = 0; i < frames.size(); ++i) {
            SCOPED_TRACE(i);
            const bool key = i % sample.gopLength == 0;
            EXPECT_EQ(frames[i].fourCC, key ? sample.keyFourCC : sample.otherFourCC);
            EXPECT_EQ(StartsWith(frames[i].bytes, sample.keyFrameStart), key);
            EXPECT_TRUE(EndsWith(frames[i].bytes, sample.end));
            EXPECT_EQ(frames[i].width, sample.width);
            EXPECT_EQ(frames[i].height, sample.height);
            EXPECT_EQ(frames[i].sizeClass, sample.sizeClass);
            EXPECT_EQ(frames[i].streamName, c.streamName);
            EXPECT_EQ(frames[i].calls, sample.calls);
        }
        const SYSTEMTIME secondFrameTime = CTestParserClient::FrameTimeFor(90000 + sample.frameStep);
        EXPECT_EQ(frames[1].time.wMilliseconds, secondFrameTime.wMilliseconds);
        const bool live = std::string(c.streamName).find("LiveStream") != std::string::npos;
        const CStreamDefaults& defaults = rig.driver.streamDefaults;
        const PictureSize stored = (live ? defaults.m_liveSize : defaults.m_recSize).Load();
        EXPECT_EQ(stored.width, sample.storesPictureSize ? sample.width : 0);
        EXPECT_EQ(stored.height, sample.storesPictureSize ? sample.height : 0);
        EXPECT_FALSE((live ? defaults.m_recSize : defaults.m_liveSize).Load().IsKnown());
        EXPECT_TRUE(rig.AllFramesReleased());
    }
}

TEST(PayloadParser, LostPacketDropsFramesUntilTheNextKeyFrame)
{
    const struct {
        MediaCodec codec;
        size_t lostFrame;
        size_t lostPacket;
    } cases[] = {{MediaCodec::H264, 3, 0}, {MediaCodec::Jpeg, 4, 2}, {MediaCodec::Mpeg4, 2, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.codec));
        const Sample sample = SampleOf(c.codec);
        ParserRig<> rig(c.codec);
        rig.feeder->FeedFrames(*OpenSource(c.codec), sample.frames, [&](size_t frame, size_t packet) {
            return frame == c.lostFrame && packet == c.lostPacket;
        });
        const std::vector<DeliveredFrame> frames = rig.host.Frames();
        const size_t nextKeyFrame = (c.lostFrame / sample.gopLength + 1) * sample.gopLength;
        ASSERT_EQ(frames.size(), c.lostFrame + sample.frames - nextKeyFrame);
        EXPECT_EQ(frames[c.lostFrame].fourCC, sample.keyFourCC);
        EXPECT_TRUE(rig.AllFramesReleased());
    }
}

// Feeds `before` frames of the sample, the bad payload, then `after` frames; the frames delivered.
size_t FramesAroundBadPayload(MediaCodec codec, const std::vector<uint8_t>& bad, size_t before, size_t after)
{
    ParserRig<> rig(codec);
    auto source = OpenSource(codec);
    rig.feeder->FeedFrames(*source, before);
    rig.feeder->Feed(bad, true, 1);
    rig.feeder->FeedFrames(*source, after);
    EXPECT_TRUE(rig.AllFramesReleased());
    return rig.host.FrameCount();
}

TEST(PayloadParser, H264PacketsThatResetUntilTheNextKeyFrame)
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
        EXPECT_EQ(FramesAroundBadPayload(MediaCodec::H264, payload, 5, 45), 5u + 25u);
    }
}

TEST(PayloadParser, JpegHeadersThatCannotBeRebuilt)
{
    const auto filled = [](std::vector<uint8_t> bytes, size_t count) {
        bytes.insert(bytes.end(), count, 7);
        return bytes;
    };
    const std::vector<std::vector<uint8_t>> bad = {
        {0x00, 0x00},                                                   // shorter than 4 bytes
        {0, 0, 0, 0, 1, 50, 40},                                        // no room for the main header
        {0, 0, 0x10, 0, 1, 50, 40, 30, 1, 2, 3, 4},                     // continuation without a first fragment
        filled({0, 0, 0, 0, 1, 255, 40, 30, 0, 0, 0x01, 0x00}, 100),   // 256 table bytes announced
        filled({0, 0, 0, 0, 1, 255, 40, 30, 0, 0, 0x03, 0xE8}, 1200),  // 1000 table bytes do not fit the headers
        filled({0, 0, 0, 0, 1, 255, 40, 30, 0, 0, 0, 64}, 64),         // tables and nothing after them
        {0, 0, 0, 0, 65, 255, 40, 30, 0, 0},                            // restart header cut short
        {0, 0, 0, 0, 1, 255, 40, 30, 0, 0},                             // table header cut short
    };
    for (const std::vector<uint8_t>& payload : bad) {
        const size_t head = std::min<size_t>(12, payload.size());
        SCOPED_TRACE(::testing::PrintToString(std::vector<uint8_t>(payload.begin(), payload.begin() + head)));
        EXPECT_EQ(FramesAroundBadPayload(MediaCodec::Jpeg, payload, 3, 5), 3u + 5u);
    }
}

TEST(PayloadParser, FramesOverTenMebibytesAreDiscardedAndOneOfExactlyTenIsKept)
{
    const char* overflowLine =
        "korvane::CRTPMediaParser::CheckBufferSize: Frame buffer overflow detected, device 127.0.0.1:80";
    const struct {
        MediaCodec codec;
        std::vector<uint8_t> firstHead;  // the rest of each packet is filler
        std::vector<uint8_t> nextHead;
        uint8_t filler;
    } cases[] = {
        {MediaCodec::H264, {0x7C, 0x85, 0x91}, {0x7C, 0x05}, 0x11},  // 0x91: first_mb_in_slice 0
        {MediaCodec::Jpeg, {0, 0, 0, 0, 1, 50, 40, 30}, {0, 0, 0, 1, 1, 50, 40, 30}, 0x22},
        {MediaCodec::Mpeg4, {0, 0, 1, 0xB6, 0x10}, {}, 0x33},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.codec));
        std::vector<uint8_t> first = c.firstHead;
        std::vector<uint8_t> next = c.nextHead;
        first.resize(60000, c.filler);
        next.resize(60000, c.filler);
        ParserRig<> rig(c.codec);
        rig.feeder->Feed(first, false, 0);
        const size_t packets = CRTPMediaParser::kMaxFrameSize / next.size() + 2;
        for (size_t i = 0; i < packets; ++i)
            rig.feeder->Feed(next, i + 1 == packets, 0);
        EXPECT_TRUE(rig.driver.HasLineContaining(overflowLine));
        EXPECT_EQ(rig.host.FrameCount(), 0u);
        EXPECT_EQ(rig.host.Allocations(), 0u);
    }
    ParserRig<> rig(MediaCodec::Jpeg);
    std::vector<uint8_t> first = {0, 0, 0, 0, 1, 50, 40, 30};
    first.resize(CRTPMediaParser::kMaxFrameSize, 0x22);
    rig.feeder->Feed(first, true, 0);
    EXPECT_EQ(rig.host.FrameCount(), 1u);
    EXPECT_FALSE(rig.driver.HasLineContaining(overflowLine));
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
TEST(PayloadParser, EveryParserRecoversFromAMutatedStream)
{
    const struct {
        MediaCodec codec;
        size_t loops;
        size_t framesPerLoop;
    } cases[] = {{MediaCodec::H264, 20, 50}, {MediaCodec::Jpeg, 10, 20}, {MediaCodec::Mpeg4, 10, 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.codec));
        ParserRig<> clean(c.codec);
        clean.feeder->FeedFrames(*OpenSource(c.codec), c.framesPerLoop);

        ParserRig<> rig(c.codec);
        auto source = OpenSource(c.codec);
        CPacketMutator mutator(1234);
        std::vector<camsim::RtpPayload> payloads;
        uint32_t step;
        for (size_t frame = 0; frame < c.loops * c.framesPerLoop; ++frame) {
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
        rig.feeder->FeedFrames(*OpenSource(c.codec), c.framesPerLoop);
        const std::vector<DeliveredFrame> expected = clean.host.Frames();
        const std::vector<DeliveredFrame> frames = rig.host.Frames();
        ASSERT_EQ(frames.size(), framesBefore + expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(frames[framesBefore + i].bytes, expected[i].bytes) << "frame " << i;
        EXPECT_TRUE(rig.AllFramesReleased());
    }
}

}  // namespace
}  // namespace korvane::test
