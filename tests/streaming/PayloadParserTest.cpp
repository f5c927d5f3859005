// The payload parsers, shared behaviour first, then each codec's cases; nothing is accessed out of bounds (sanitizer).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>

#include "streaming/Mpeg4HeaderParser.h"
#include "streaming/ParserTestSupport.h"
#include "StreamTestSupport.h"
#include "support/FrameDecoding.h"
#include "support/TestData.h"

namespace korvane::test {
namespace {

using Bytes = std::vector<uint8_t>;
using camsim::H264Packetisation;
using camsim::MediaCodec;
using camsim::MediaSourceOptions;
using camsim::OpenMediaSource;
using H264Rig = ParserRig<CH264RTPMediaParser>;
using JpegRig = ParserRig<CJpegRTPMediaParser>;
using Mpeg4Rig = ParserRig<CMpeg4RTPMediaParser>;

// The sample's configuration headers (VOS, VO, VOL and user data) in front of its first VOP.
Bytes Mpeg4Config()
{
    const Bytes first = FirstFramePayloads(MediaCodec::Mpeg4).at(0).bytes;
    for (size_t i = 4; i + 4 <= first.size(); ++i)
        if (first[i] == 0 && first[i + 1] == 0 && first[i + 2] == 1 && (first[i + 3] == 0xB6 || first[i + 3] == 0xB3))
            return Bytes(first.begin(), first.begin() + i);
    return {};
}

// What a codec's sample gives.
struct Sample {
    size_t frames;
    size_t gopLength;  // a key frame every gopLength frames, from the first on
    uint32_t frameStep;
    uint32_t width, height, sizeClass;
    bool storesPictureSize;  // for the kind of stream the frames belong to
    uint32_t keyFourCC, otherFourCC;
    Bytes keyFrameStart;             // how key frames start and other frames do not
    Bytes end;                       // how every frame ends
    std::vector<std::string> calls;  // the frame setters in the host's order
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
        rig.feeder->FeedFrames(*OpenMediaSource(c.codec, c.options), sample.frames);

        const std::vector<DeliveredFrame> frames = rig.host.Frames();
        ASSERT_EQ(frames.size(), sample.frames);
        for (size_t i = 0; i < frames.size(); ++i) {
            SCOPED_TRACE(i);
            const DeliveredFrame& f = frames[i];
            const bool key = i % sample.gopLength == 0;
            EXPECT_EQ(std::tie(f.fourCC, f.width, f.height, f.sizeClass, f.streamName, f.calls),
                      std::make_tuple(key ? sample.keyFourCC : sample.otherFourCC, sample.width, sample.height,
                                      sample.sizeClass, std::string(c.streamName), sample.calls));
            EXPECT_EQ(StartsWith(f.bytes, sample.keyFrameStart), key);
            EXPECT_TRUE(EndsWith(f.bytes, sample.end));
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
        const auto lost = [&](size_t frame, size_t packet, camsim::RtpPayload&) {
            return frame == c.lostFrame && packet == c.lostPacket;
        };
        rig.feeder->FeedFrames(*OpenMediaSource(c.codec), sample.frames, lost);
        const std::vector<DeliveredFrame> frames = rig.host.Frames();
        const size_t nextKeyFrame = (c.lostFrame / sample.gopLength + 1) * sample.gopLength;
        ASSERT_EQ(frames.size(), c.lostFrame + sample.frames - nextKeyFrame);
        EXPECT_EQ(frames[c.lostFrame].fourCC, sample.keyFourCC);
        EXPECT_TRUE(rig.AllFramesReleased());
    }
}

// Feeds `before` frames of the sample, the bad payload, then `after` frames; the frames delivered.
size_t FramesAroundBadPayload(MediaCodec codec, const Bytes& bad, size_t before, size_t after)
{
    ParserRig<> rig(codec);
    auto source = OpenMediaSource(codec);
    rig.feeder->FeedFrames(*source, before);
    rig.feeder->Feed(bad, true, 1);
    rig.feeder->FeedFrames(*source, after);
    EXPECT_TRUE(rig.AllFramesReleased());
    return rig.host.FrameCount();
}

// The payloads of tests/data/streaming/bad-payloads.txt.
TEST(PayloadParser, BadPayloadsAreDroppedUntilTheNextKeyFrame)
{
    const std::vector<std::string> lines = ReadTestDataLines("streaming/bad-payloads.txt");
    EXPECT_EQ(lines.size(), 23u);
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        std::istringstream fields(line);
        std::string codec, hex;
        size_t filler = 0;
        fields >> codec >> hex >> filler;
        Bytes payload = FromHex(hex);
        payload.insert(payload.end(), filler, 7);
        if (codec == "h264") {  // frames 0-4 are delivered; 5-24 wait for the key frame at 25
            EXPECT_EQ(FramesAroundBadPayload(MediaCodec::H264, payload, 5, 45), 5u + 25u);
        } else {
            EXPECT_EQ(FramesAroundBadPayload(MediaCodec::Jpeg, payload, 3, 5), 3u + 5u);
        }
    }
}

TEST(PayloadParser, FramesOverTenMebibytesAreDiscardedAndOneOfExactlyTenIsKept)
{
    const char* overflowLine =
        "korvane::CRTPMediaParser::CheckBufferSize: Frame buffer overflow detected, device 127.0.0.1:80";
    const struct {
        MediaCodec codec;
        Bytes firstHead;  // the rest of each packet is filler
        Bytes nextHead;
        uint8_t filler;
    } cases[] = {
        {MediaCodec::H264, {0x7C, 0x85, 0x91}, {0x7C, 0x05}, 0x11},  // 0x91: first_mb_in_slice 0
        {MediaCodec::Jpeg, {0, 0, 0, 0, 1, 50, 40, 30}, {0, 0, 0, 1, 1, 50, 40, 30}, 0x22},
        {MediaCodec::Mpeg4, {0, 0, 1, 0xB6, 0x10}, {}, 0x33},
    };
    for (auto c : cases) {
        SCOPED_TRACE(static_cast<int>(c.codec));
        c.firstHead.resize(60000, c.filler);
        c.nextHead.resize(60000, c.filler);
        ParserRig<> rig(c.codec);
        rig.feeder->Feed(c.firstHead, false, 0);
        const size_t packets = CRTPMediaParser::kMaxFrameSize / c.nextHead.size() + 2;
        for (size_t i = 0; i < packets; ++i)
            rig.feeder->Feed(c.nextHead, i + 1 == packets, 0);
        const CFrameHost& host = rig.host;
        EXPECT_EQ(std::make_tuple(rig.driver.HasLineContaining(overflowLine), host.FrameCount(), host.Allocations()),
                  std::make_tuple(true, size_t{0}, size_t{0}));
    }
    ParserRig<> rig(MediaCodec::Jpeg);
    rig.feeder->Feed(Join({{0, 0, 0, 0, 1, 50, 40, 30}, Bytes(CRTPMediaParser::kMaxFrameSize - 8, 0x22)}), true, 0);
    EXPECT_EQ(rig.host.FrameCount(), 1u);
    EXPECT_FALSE(rig.driver.HasLineContaining(overflowLine));
}

// Mutates real packets: flipped bytes, cut or padded payloads, wrong markers, losses.
class CPacketMutator {
public:
    explicit CPacketMutator(uint32_t seed) : m_random(seed) {}

    void Mutate(Bytes& payload, bool& marker)
    {
        const size_t kind = Below(8);  // 5 to 7 leave the packet unchanged
        if (kind == 0 && !payload.empty())
            payload[Below(std::min<size_t>(payload.size(), 24))] = static_cast<uint8_t>(Below(256));
        else if (kind == 1)
            payload.resize(Below(payload.size() + 1));
        else if (kind == 2)
            for (size_t i = Below(40); i > 0; --i)
                payload.push_back(static_cast<uint8_t>(Below(256)));
        else if (kind == 3)
            marker = !marker;
        else if (kind == 4)
            for (size_t i = Below(6); i > 0 && !payload.empty(); --i)
                payload[Below(payload.size())] = static_cast<uint8_t>(Below(256));
    }
    // True: the packet is lost; otherwise it may be changed.
    bool LoseOrMutate(camsim::RtpPayload& payload)
    {
        if (Below(40) == 0)
            return true;
        Mutate(payload.bytes, payload.marker);
        return false;
    }

private:
    size_t Below(size_t bound)
    {
        return bound == 0 ? 0 : std::uniform_int_distribution<size_t>(0, bound - 1)(m_random);
    }
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
        clean.feeder->FeedFrames(*OpenMediaSource(c.codec), c.framesPerLoop);

        ParserRig<> rig(c.codec);
        CPacketMutator mutator(1234);
        const auto mutate = [&](size_t, size_t, camsim::RtpPayload& payload) { return mutator.LoseOrMutate(payload); };
        rig.feeder->FeedFrames(*OpenMediaSource(c.codec), c.loops * c.framesPerLoop, mutate);
        EXPECT_TRUE(rig.AllFramesReleased());
        const size_t framesBefore = rig.host.FrameCount();
        EXPECT_GT(framesBefore, 0u);

        rig.feeder->SkipSequenceNumber();
        rig.feeder->FeedFrames(*OpenMediaSource(c.codec), c.framesPerLoop);
        const std::vector<DeliveredFrame> expected = clean.host.Frames();
        const std::vector<DeliveredFrame> frames = rig.host.Frames();
        ASSERT_EQ(frames.size(), framesBefore + expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(frames[framesBefore + i].bytes, expected[i].bytes) << "frame " << i;
        EXPECT_TRUE(rig.AllFramesReleased());
    }
}

// H.264

constexpr size_t kH264Frames = 50;
constexpr size_t kH264GopLength = 25;

// The NAL units in Annex B form, each after a start code.
Bytes AnnexB(std::initializer_list<const Bytes*> nals)
{
    Bytes bytes;
    for (const Bytes* nal : nals) {
        bytes.insert(bytes.end(), {0, 0, 1});
        bytes.insert(bytes.end(), nal->begin(), nal->end());
    }
    return bytes;
}

// Without parameter sets in band, key frames get those of the description in front; without readable ones there
// are no frames.
TEST(H264Parser, ParameterSetsFromTheDescription)
{
    MediaSourceOptions options;
    options.h264ParameterSetsInBand = false;
    SdpInfo unreadable;
    unreadable.sequenceParameterSet = {0x67, 0x42};
    unreadable.pictureParameterSet = {0x68, 0xCE};
    const struct {
        SdpInfo sdp;
        size_t frames;
    } cases[] = {{H264SampleDescription(), kH264Frames}, {SdpInfo(), 0}, {unreadable, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sdp.sequenceParameterSet.size());
        H264Rig rig;
        rig.parser->SetParameterSets(c.sdp);
        rig.feeder->FeedFrames(*OpenMediaSource(MediaCodec::H264, options), kH264Frames);
        const std::vector<DeliveredFrame> frames = rig.host.Frames();
        ASSERT_EQ(frames.size(), c.frames);
        EXPECT_EQ(rig.host.Allocations(), c.frames);
        if (c.frames == 0)
            continue;
        const Bytes expectedStart = AnnexB({&c.sdp.sequenceParameterSet, &c.sdp.pictureParameterSet});
        EXPECT_TRUE(StartsWith(frames[0].bytes, expectedStart));
        EXPECT_TRUE(StartsWith(frames[kH264GopLength].bytes, expectedStart));
        const auto isKey = [](const DeliveredFrame& f) { return f.fourCC == CH264RTPMediaParser::kFourCCKeyFrame; };
        EXPECT_EQ(std::count_if(frames.begin(), frames.end(), isKey), 2);
    }
}

TEST(H264Parser, ParameterSetsInSingleNalPacketsReplaceTheStoredOnesAndStayOutOfFrames)
{
    const SdpInfo sdp = H264SampleDescription();
    H264Rig rig;
    const Bytes idr = {0x65, 0x88, 0x84, 0x00, 0x33};
    rig.feeder->Feed(sdp.sequenceParameterSet, false, 1000);
    rig.feeder->Feed(sdp.pictureParameterSet, false, 1000);
    rig.feeder->Feed({0x06, 0x05, 0x01, 0x02}, false, 1000);  // SEI
    rig.feeder->Feed({0x09, 0xF0}, false, 1000);              // access unit delimiter
    rig.feeder->Feed(idr, true, 1000);

    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    ASSERT_EQ(frames.size(), 1u);
    const Bytes trailer = {0, 0, 0, 1, 9};
    EXPECT_EQ(frames[0].bytes, Join({AnnexB({&sdp.sequenceParameterSet, &sdp.pictureParameterSet, &idr}), trailer}));
    EXPECT_EQ(rig.host.LastAllocationSize(), frames[0].bytes.size());
}

TEST(H264Parser, HostFaults)
{
    // A refused frame makes the parser wait for a key frame.
    H264Rig refusing;
    auto source = OpenMediaSource(MediaCodec::H264);
    refusing.feeder->FeedFrames(*source, 2);
    refusing.host.SetAcceptFrames(false);
    refusing.feeder->FeedFrames(*source, 1);
    refusing.host.SetAcceptFrames(true);
    refusing.feeder->FeedFrames(*source, kH264Frames - 3);
    EXPECT_EQ(refusing.host.FrameCount(), 2 + (kH264Frames - kH264GopLength));
    EXPECT_TRUE(refusing.AllFramesReleased());

    // A frame without a buffer is reported and released.
    H264Rig withoutBuffer;
    withoutBuffer.host.SetFramesWithoutBuffer(true);
    withoutBuffer.feeder->FeedFrames(*OpenMediaSource(MediaCodec::H264), 3);
    EXPECT_EQ(withoutBuffer.host.FrameCount(), 0u);
    EXPECT_TRUE(withoutBuffer.driver.HasLineContaining(
        "korvane::CH264RTPMediaParser::ProcessFrame: Data copying error, device 127.0.0.1:80"));
    EXPECT_GT(withoutBuffer.host.Allocations(), 0u);
    EXPECT_TRUE(withoutBuffer.AllFramesReleased());

    // No allocator or a refused allocation delivers nothing.
    H264Rig unallocated;
    unallocated.host.SetRefuseAllocations(true);
    source = OpenMediaSource(MediaCodec::H264);
    unallocated.feeder->FeedFrames(*source, 3);
    unallocated.driver.allocator = nullptr;
    unallocated.feeder->FeedFrames(*source, 3);
    EXPECT_EQ(unallocated.host.FrameCount(), 0u);
}

TEST(H264Parser, ReadsInterlacedHeightAndCropping)
{
    // Baseline SPS of a 1920-wide interlaced picture of 34 map units (field pairs), then the same cropped by 4 pairs.
    const struct {
        Bytes sps;
        uint32_t height;
    } cases[] = {
        {{0, 0, 1, 0x67, 0x42, 0x00, 0x28, 0xDA, 0x01, 0xE0, 0x11, 0x14}, 1088},
        {{0, 0, 1, 0x67, 0x42, 0x00, 0x28, 0xDA, 0x01, 0xE0, 0x11, 0x1F, 0x2C}, 1080},
    };
    for (const auto& c : cases) {
        uint32_t width = 0, height = 0;
        EXPECT_TRUE(ReadPictureSizeFromSps(c.sps.data(), c.sps.size(), width, height));
        EXPECT_EQ(std::make_pair(width, height), std::make_pair(1920u, c.height));
    }
}

// JPEG

Bytes MainHeader(uint32_t offset, uint8_t type, uint8_t q, uint8_t width8, uint8_t height8)
{
    return {0, static_cast<uint8_t>(offset >> 16), static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset),
            type, q, width8, height8};
}

Bytes WithData(Bytes headers, size_t dataLength)
{
    for (size_t i = 0; i < dataLength; ++i)
        headers.push_back(static_cast<uint8_t>(i % 200));
    return headers;
}

// Offset of the first marker segment `marker` at or after `from`, or npos.
size_t FindMarker(const Bytes& image, uint8_t marker, size_t from = 2)
{
    const Bytes segment = {0xFF, marker};
    const auto begin = image.begin() + std::min(from, image.size());
    const auto at = std::search(begin, image.end(), segment.begin(), segment.end());
    return at == image.end() ? std::string::npos : static_cast<size_t>(at - image.begin());
}

// `count` bytes from `offset` on after position `at` (none for npos or past the end).
Bytes Slice(const Bytes& image, size_t at, size_t offset, size_t count)
{
    if (at == std::string::npos || at + offset + count > image.size())
        return {};
    return Bytes(image.begin() + at + offset, image.begin() + at + offset + count);
}

DeliveredFrame SinglePicture(const Bytes& payload)
{
    JpegRig rig;
    rig.feeder->Feed(payload, true, 0);
    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    EXPECT_TRUE(rig.AllFramesReleased());
    return frames.empty() ? DeliveredFrame() : frames[0];
}

TEST(JpegParser, TablesFromQAndSamplingFollowTheMainHeader)
{
    const struct {
        uint8_t type;
        uint8_t q;
        int factor;        // of the tables, in per cent
        uint8_t sampling;  // of the first component
    } cases[] = {{1, 50, 100, 0x22}, {0, 10, 500, 0x21}, {1, 90, 20, 0x22}, {1, 0, 5000, 0x22}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.q));
        const Bytes image = SinglePicture(WithData(MainHeader(0, c.type, c.q, 40, 30), 700)).bytes;
        ASSERT_EQ(image.size(), 605 + 700 + 2u);  // 605 bytes of headers rebuilt for a Q below 128
        // The first DQT holds table 0 in zigzag order: 16, 11, 12 ... of the luminance table.
        ASSERT_EQ(FindMarker(image, 0xDB), 2u);
        const auto scaled = [&](int entry) { return std::clamp((entry * c.factor + 50) / 100, 1, 255); };
        EXPECT_EQ((std::vector<int>{image[7], image[8], image[9], image[7 + 63]}),
                  (std::vector<int>{scaled(16), scaled(11), scaled(12), scaled(99)}));
        EXPECT_EQ(Slice(image, FindMarker(image, 0xC0), 11, 1), Bytes{c.sampling});
    }
    // A size byte of zero means 2048; the SOF holds it big-endian.
    const DeliveredFrame frame = SinglePicture(WithData(MainHeader(0, 0, 50, 0, 30), 700));
    EXPECT_EQ(std::make_tuple(frame.width, frame.height, Slice(frame.bytes, FindMarker(frame.bytes, 0xC0), 7, 2)),
              std::make_tuple(2048u, 240u, Bytes{0x08, 0x00}));
}

TEST(JpegParser, InBandTablesMakeOneOrTwoQuantisationSegments)
{
    const struct {
        uint16_t tableLength;
        Bytes secondTable;  // number and first entry of the second DQT's table
        Bytes components;   // the table of component 2, the identifier, sampling and table of component 3
    } cases[] = {{128, {1, 9}, {1, 3, 0x11, 1}}, {64, {}, {0, 3, 0x11, 0}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tableLength);
        const Bytes tables = Join({{0, 0, uint8_t(c.tableLength >> 8), uint8_t(c.tableLength)}, Bytes(64, 7)});
        const Bytes payload = Join({MainHeader(0, 1, 255, 40, 30), tables, Bytes(c.tableLength - 64, 9)});
        const Bytes image = SinglePicture(WithData(payload, 300)).bytes;
        const size_t first = FindMarker(image, 0xDB);
        EXPECT_EQ(Slice(image, 2, 0, 9), (Bytes{0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0}));
        EXPECT_EQ(Slice(image, first, 4, 2), (Bytes{0, 7}));
        EXPECT_EQ(Slice(image, FindMarker(image, 0xDB, first + 2), 4, 2), c.secondTable);
        EXPECT_EQ(Slice(image, FindMarker(image, 0xC0), 15, 4), c.components);
    }
}

TEST(JpegParser, RestartHeaderBecomesDriAndIsNotScanData)
{
    for (const uint8_t q : {uint8_t{50}, uint8_t{255}}) {
        SCOPED_TRACE(static_cast<int>(q));
        const Bytes restart = {0x00, 0x0A, 0xFF, 0xFF};
        const Bytes tables = q >= 128 ? Join({{0, 0, 0, 128}, Bytes(128, 3)}) : Bytes{};
        const Bytes first =
            Join({WithData(Join({MainHeader(0, 64, q, 40, 30), restart, tables}), 700), {0xAB, 0xCD, 0xEF}});
        const Bytes second = Join({MainHeader(uint32_t(first.size()), 64, q, 40, 30), restart, {0x11, 0x22}});
        JpegRig rig;
        rig.feeder->Feed(first, false, 0);
        rig.feeder->Feed(second, true, 0);

        const std::vector<DeliveredFrame> frames = rig.host.Frames();
        ASSERT_EQ(frames.size(), 1u);
        const Bytes& image = frames[0].bytes;
        EXPECT_EQ(Slice(image, FindMarker(image, 0xDD), 0, 6), (Bytes{0xFF, 0xDD, 0x00, 0x04, 0x00, 0x0A}));
        EXPECT_EQ(Slice(image, FindMarker(image, 0xDA), 15, 1), Bytes{1});  // scan data starts after the restart header
        EXPECT_TRUE(EndsWith(image, {0xAB, 0xCD, 0xEF, 0x11, 0x22, 0xFF, 0xD9}));
        EXPECT_EQ(frames[0].sizeClass, 2u);
        EXPECT_EQ(Slice(image, FindMarker(image, 0xC0), 11, 1), Bytes{0x21});  // type 64 is type 0 with restart markers
    }
}

TEST(JpegParser, DroppedPicturesAndTheRoomAllocatedForTheHeaders)
{
    JpegRig rig;
    rig.feeder->Feed(WithData(MainHeader(1000, 1, 50, 40, 30), 700), true, 0);  // no first fragment
    EXPECT_EQ(rig.host.FrameCount(), 0u);
    rig.feeder->Feed(WithData(MainHeader(0, 1, 50, 40, 30), 700), true, 0);
    EXPECT_EQ(rig.host.FrameCount(), 1u);
    EXPECT_EQ(rig.host.LastAllocationSize(), 700 + 8 + CJpegRTPMediaParser::kHeaderRoom);

    // A picture shorter than its rebuilt headers.
    JpegRig shortPicture;
    shortPicture.feeder->Feed(WithData(MainHeader(0, 1, 50, 40, 30), 600 - 8), true, 0);
    EXPECT_EQ(shortPicture.host.FrameCount(), 0u);
    EXPECT_EQ(shortPicture.host.Allocations(), 1u);
    EXPECT_TRUE(shortPicture.AllFramesReleased());

    // A table header whose MBZ is not zero falls back to tables from Q.
    Bytes payload = {0, 0, 0, 0, 1, 200, 40, 30, 1, 0, 0, 128};
    payload.insert(payload.end(), 700, 5);
    EXPECT_EQ(SinglePicture(payload).bytes.size(), 2 + 18 + 69 + 69 + 19 + 432 + 14 + (payload.size() - 12) + 2);
}

// MPEG-4

constexpr size_t kMpeg4Frames = 20;

TEST(Mpeg4Parser, PictureSizeFromTheHostLibraryOrTheConfiguration)
{
    {
        // Looked for beside the host executable (checked before any parser holds the library).
        FakeDriver driver;
        const CMpeg4RTPMediaParser elsewhere(&driver);
        EXPECT_FALSE(elsewhere.UsesHeaderLibrary());
        const std::string libraryPath = TEST_HEADER_LIBRARY_PATH;
        driver.hostDirectory = libraryPath.substr(0, libraryPath.rfind('/') + 1);
        const CMpeg4RTPMediaParser beside(&driver);
        EXPECT_TRUE(beside.UsesHeaderLibrary());
    }
    SdpInfo described;
    described.config = Mpeg4Config();
    ASSERT_FALSE(described.config.empty());
    MediaSourceOptions configOutOfBand;
    configOutOfBand.mpeg4ConfigInBand = false;
    const struct {
        const char* library;
        SdpInfo sdp;
        MediaSourceOptions options;
        size_t frames;
        std::pair<uint32_t, uint32_t> size;
    } cases[] = {
        {TEST_HEADER_LIBRARY_PATH, {}, {}, kMpeg4Frames, {704, 576}},  // the test library's fixed size
        {TEST_REJECTING_HEADER_LIBRARY_PATH, {}, {}, 0, {}},             // it rejects every key frame
        // The description's configuration goes in front of key frames without headers in band.
        {kNoHeaderLibrary, described, configOutOfBand, kMpeg4Frames, {352, 288}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        Mpeg4Rig rig("127.0.0.1:80::RecStream", c.library);
        EXPECT_EQ(rig.parser->UsesHeaderLibrary(), c.library != kNoHeaderLibrary);
        rig.parser->SetParameterSets(c.sdp);
        rig.feeder->FeedFrames(*OpenMediaSource(MediaCodec::Mpeg4, c.options), kMpeg4Frames);
        const std::vector<DeliveredFrame> frames = rig.host.Frames();
        ASSERT_EQ(frames.size(), c.frames);
        EXPECT_EQ(rig.host.Allocations(), c.frames);
        for (size_t i = 0; i < std::min<size_t>(2, frames.size()); ++i)
            EXPECT_EQ(std::make_pair(frames[i].width, frames[i].height), c.size);
        EXPECT_TRUE(frames.empty() || StartsWith(frames[0].bytes, described.config));
    }
}

// Packets {payload, marker, time stamp} to a parser using the test header library; the frames' bytes, types and widths.
TEST(Mpeg4Parser, ConfigurationAndVopsInHandMadePackets)
{
    const Bytes vop = {0, 0, 1, 0xB6, 0x10, 0x20, 0x30};
    const Bytes configAndVop = Join({{0, 0, 1, 0xB0, 1}, Bytes(15, 0x55), vop});
    const Bytes config = {0, 0, 1, 0xB0, 1, 0, 0, 1, 0xB5, 9};
    const Bytes intra = {0, 0, 1, 0xB6, 0x00, 0x44};
    const Bytes longConfig = Join({{0, 0, 1, 0xB0}, Bytes(76, 0x33)});
    const Bytes predicted = {0, 0, 1, 0xB6, 0x50, 0x11};
    const Bytes intraAfter = {0, 0, 1, 0xB6, 0x10, 0x11};
    const uint32_t key = CMpeg4RTPMediaParser::kFourCCKeyFrame;
    const uint32_t other = CMpeg4RTPMediaParser::kFourCCOtherFrame;
    using Frames = std::vector<std::tuple<Bytes, uint32_t, uint32_t>>;
    const struct {
        const char* name;
        std::vector<std::tuple<Bytes, bool, uint32_t>> packets;
        Frames frames;
    } cases[] = {
        // 20 configuration bytes, then the VOP from offset 20; the configuration then precedes a key frame without it.
        {"configuration and VOP in one packet", {{configAndVop, true, 0}, {vop, true, 3600}},
         {{configAndVop, key, 704}, {configAndVop, key, 704}}},
        {"a short configuration packet is stored, a long one is frame data",
         {{config, false, 0}, {intra, true, 0}, {longConfig, true, 3600}},
         {{Join({config, intra}), key, 704}, {longConfig, key, 704}}},
        // Then frames have the size of the last key frame.
        {"a predicted VOP before any key frame is dropped",
         {{predicted, true, 0}, {intraAfter, true, 3600}, {predicted, true, 7200}},
         {{intraAfter, key, 704}, {predicted, other, 704}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Mpeg4Rig rig("127.0.0.1:80::RecStream", TEST_HEADER_LIBRARY_PATH);
        for (const auto& [payload, marker, timeStamp] : c.packets)
            rig.feeder->Feed(payload, marker, timeStamp);
        Frames frames;
        for (const DeliveredFrame& frame : rig.host.Frames())
            frames.emplace_back(frame.bytes, frame.fourCC, frame.width);
        EXPECT_EQ(frames, c.frames);
    }
}

// Its reading of the sample's 352 x 288 is checked with the sample's frames (ReassemblesEveryFrameOfTheSamples).
TEST(Mpeg4Parser, BuiltInHeaderParserNeedsARectangularVideoObjectLayer)
{
    int32_t width = -1, height = -1;
    const Bytes config = Mpeg4Config();
    const Bytes noLayer = {0, 0, 1, 0xB0, 1, 0, 0, 1, 0xB6, 0};
    EXPECT_EQ(ParseVideoObjectLayerSize(noLayer.data(), static_cast<uint32_t>(noLayer.size()), &width, &height), 0);
    size_t layer = 0;
    while (layer + 4 < config.size() && !(config[layer + 2] == 1 && config[layer + 3] == 0x20))
        ++layer;
    const uint32_t truncated = static_cast<uint32_t>(layer + 6);  // the size fields are further on
    EXPECT_EQ(ParseVideoObjectLayerSize(config.data(), truncated, &width, &height), 0);
}

// Decoding: the reassembled streams must decode cleanly with a real decoder.

std::string SamplePath(const char* name)
{
    return std::string(TALLOWCAM_TEST_DATA_DIR) + "/media/" + name;
}

// The checksums of a sample file, decoded once per test program.
const std::string& SampleChecksums(const char* name, const std::string& format)
{
    static std::map<std::string, std::string> checksums;
    auto found = checksums.find(name);
    if (found == checksums.end())
        found = checksums.emplace(name, FrameChecksums(SamplePath(name), format)).first;
    return found->second;
}

std::vector<DeliveredFrame> Reassemble(MediaCodec codec, const MediaSourceOptions& options, size_t frames,
                                       const SdpInfo& sdp = {}, const std::string& mpeg4Library = kNoHeaderLibrary)
{
    ParserRig<> rig(codec, mpeg4Library);
    rig.parser->SetParameterSets(sdp);
    auto source = OpenMediaSource(codec, options);
    EXPECT_NE(source, nullptr);
    if (source)
        rig.feeder->FeedFrames(*source, frames);
    EXPECT_TRUE(rig.AllFramesReleased());
    return rig.host.Frames();
}

// H.264 in every packetisation, JPEG with tables from Q and in band, MPEG-4 with and without the host library.
TEST(ParserDecode, EveryCodecDecodesCleanly)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    const char* mainProfile = "sample640x480.h264";
    // High profile: scaling lists in the SPS, picture order count type 1, 1088 lines cropped to 1080.
    const char* highProfile = "sample1920x1080high.h264";
    const struct {
        const char* name;
        const char* file;
        H264Packetisation mode;
        size_t maxPayload;
        bool parameterSetsInBand;
        uint32_t width, height;
        size_t frames;
    } cases[] = {
        {"FU-A small", mainProfile, H264Packetisation::NonInterleaved, 500, true, 640, 480, 50},
        {"STAP-A and FU-A", mainProfile, H264Packetisation::NonInterleaved, 1400, true, 640, 480, 50},
        {"FU-A, sets in SDP only", mainProfile, H264Packetisation::NonInterleaved, 1400, false, 640, 480, 50},
        {"single NAL", mainProfile, H264Packetisation::SingleNal, 1400, true, 640, 480, 50},
        {"High profile, sets in SDP only", highProfile, H264Packetisation::NonInterleaved, 1400, false, 1920, 1080, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MediaSourceOptions options;
        options.filePath = SamplePath(c.file);
        options.h264Mode = c.mode;
        options.maxPayloadSize = c.maxPayload;
        options.h264ParameterSetsInBand = c.parameterSetsInBand;
        const std::vector<DeliveredFrame> frames =
            Reassemble(MediaCodec::H264, options, c.frames, H264SampleDescription(options.filePath));
        ASSERT_EQ(frames.size(), c.frames);
        EXPECT_EQ(std::make_pair(frames[0].width, frames[0].height), std::make_pair(c.width, c.height));
        // Each frame ends with the start of the next access unit's delimiter; the last one has no successor.
        std::vector<DeliveredFrame> stream = frames;
        stream.back().bytes.resize(stream.back().bytes.size() - 5);
        const CFrameFile file(stream, ".h264");
        const DecodeResult result = Decode(file, "h264");
        const std::string size = std::to_string(c.width) + "," + std::to_string(c.height) + ",";
        EXPECT_EQ(result.errors + "|" + result.summary, "|" + size + std::to_string(c.frames) + "\n");
        EXPECT_EQ(FrameChecksums(file.Path(), "h264"), SampleChecksums(c.file, "h264"));
    }
    struct Case {
        uint8_t q;
        uint16_t restartInterval;
    };
    for (const Case& c : {Case{30, 0}, Case{85, 0}, Case{255, 0}, Case{60, 5}, Case{255, 7}}) {
        SCOPED_TRACE(::testing::Message() << "Q " << int{c.q} << ", restart interval " << c.restartInterval);
        MediaSourceOptions options;
        options.jpegQ = c.q;
        options.jpegRestartInterval = c.restartInterval;
        const std::vector<DeliveredFrame> frames = Reassemble(MediaCodec::Jpeg, options, 20);
        ASSERT_EQ(frames.size(), 20u);
        const Bytes dri = {0xFF, 0xDD, 0x00, 0x04, 0x00, static_cast<uint8_t>(c.restartInterval)};
        EXPECT_EQ(Slice(frames[0].bytes, FindMarker(frames[0].bytes, 0xDD), 0, 6), c.restartInterval ? dri : Bytes{});
        const CFrameFile file(frames, ".mjpeg");
        const DecodeResult result = Decode(file, "mjpeg");
        EXPECT_EQ(result.errors + "|" + result.summary, "|320,240,20\n");
        if (c.q >= 128) {
            // Tables in band: only the entropy coding changed on the way, the pictures are identical.
            EXPECT_EQ(FrameChecksums(file.Path(), "mjpeg"), SampleChecksums("sample320x240.mjpeg", "mjpeg"));
        }
    }
    for (const char* library : {kNoHeaderLibrary, TEST_HEADER_LIBRARY_PATH}) {
        SCOPED_TRACE(library);
        const std::vector<DeliveredFrame> frames = Reassemble(MediaCodec::Mpeg4, {}, 20, {}, library);
        ASSERT_EQ(frames.size(), 20u);
        const CFrameFile file(frames, ".m4v");
        const DecodeResult result = Decode(file, "m4v");
        EXPECT_EQ(result.errors + "|" + result.summary, "|352,288,20\n");
    }
}

}  // namespace
}  // namespace korvane::test
