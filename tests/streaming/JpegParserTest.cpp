#include <gtest/gtest.h>

#include "streaming/JpegRTPMediaParser.h"
#include "streaming/ParserTestSupport.h"

namespace korvane::test {
namespace {

using Rig = ParserRig<CJpegRTPMediaParser>;

constexpr size_t kStandardHeaderSize = 605;  // headers rebuilt for a Q below 128

std::vector<uint8_t> MainHeader(uint32_t offset, uint8_t type, uint8_t q, uint8_t width8, uint8_t height8)
{
    return {0, static_cast<uint8_t>(offset >> 16), static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset),
            type, q, width8, height8};
}

std::vector<uint8_t> WithData(std::vector<uint8_t> headers, size_t dataLength)
{
    for (size_t i = 0; i < dataLength; ++i)
        headers.push_back(static_cast<uint8_t>(i % 200));
    return headers;
}

// Offset of the first marker segment `marker` at or after `from`, or npos.
size_t FindMarker(const std::vector<uint8_t>& image, uint8_t marker, size_t from = 2)
{
    for (size_t i = from; i + 1 < image.size(); ++i) {
        if (image[i] == 0xFF && image[i + 1] == marker)
            return i;
    }
    return std::string::npos;
}

DeliveredFrame SinglePicture(const std::vector<uint8_t>& payload)
{
    Rig rig;
    rig.feeder->Feed(payload, true, 0);
    const std::vector<DeliveredFrame> frames = rig.host.Frames();
    EXPECT_TRUE(rig.AllFramesReleased());
    return frames.empty() ? DeliveredFrame() : frames[0];
}

TEST(JpegParser, QuantisationTablesFollowQ)
{
    struct Case {
        uint8_t q;
        int factor;
    };
    for (const Case& c : {Case{50, 100}, Case{10, 500}, Case{90, 20}, Case{0, 5000}}) {
        SCOPED_TRACE(static_cast<int>(c.q));
        const DeliveredFrame frame = SinglePicture(WithData(MainHeader(0, 1, c.q, 40, 30), 700));
        ASSERT_EQ(frame.bytes.size(), kStandardHeaderSize + 700 + 2);
        // The first DQT holds table 0 in zigzag order: 16, 11, 12 ... of the luminance table.
        ASSERT_EQ(FindMarker(frame.bytes, 0xDB), 2u);
        const auto scaled = [&](int entry) { return std::clamp((entry * c.factor + 50) / 100, 1, 255); };
        EXPECT_EQ(frame.bytes[7], scaled(16));
        EXPECT_EQ(frame.bytes[8], scaled(11));
        EXPECT_EQ(frame.bytes[9], scaled(12));
        EXPECT_EQ(frame.bytes[7 + 63], scaled(99));
    }
}

TEST(JpegParser, SamplingFollowsTheTypeAndSizeByteZeroMeans2048)
{
    for (const uint8_t type : {uint8_t{0}, uint8_t{1}}) {
        const DeliveredFrame frame = SinglePicture(WithData(MainHeader(0, type, 50, 40, 30), 700));
        const size_t sof = FindMarker(frame.bytes, 0xC0);
        ASSERT_NE(sof, std::string::npos);
        EXPECT_EQ(frame.bytes[sof + 11], type == 0 ? 0x21 : 0x22);
    }
    // A size byte of zero means 2048.
    const DeliveredFrame frame = SinglePicture(WithData(MainHeader(0, 0, 50, 0, 30), 700));
    EXPECT_EQ(frame.width, 2048u);
    EXPECT_EQ(frame.height, 240u);
    const size_t sof = FindMarker(frame.bytes, 0xC0);
    EXPECT_EQ(frame.bytes[sof + 7], 0x08);  // width 2048, big-endian
    EXPECT_EQ(frame.bytes[sof + 8], 0x00);
}

TEST(JpegParser, InBandTablesMakeOneOrTwoQuantisationSegments)
{
    for (const uint16_t tableLength : {uint16_t{128}, uint16_t{64}}) {
        SCOPED_TRACE(tableLength);
        std::vector<uint8_t> payload = MainHeader(0, 1, 255, 40, 30);
        payload.insert(payload.end(), {0, 0, static_cast<uint8_t>(tableLength >> 8), static_cast<uint8_t>(tableLength)});
        for (uint16_t i = 0; i < tableLength; ++i)
            payload.push_back(static_cast<uint8_t>(i < 64 ? 7 : 9));
        const DeliveredFrame frame = SinglePicture(WithData(payload, 300));
        const size_t first = FindMarker(frame.bytes, 0xDB);
        ASSERT_NE(first, std::string::npos);
        EXPECT_EQ(frame.bytes[first + 4], 0);  // table 0
        EXPECT_EQ(frame.bytes[first + 5], 7);
        const size_t second = FindMarker(frame.bytes, 0xDB, first + 2);
        const size_t sof = FindMarker(frame.bytes, 0xC0);
        if (tableLength == 128) {
            ASSERT_NE(second, std::string::npos);
            EXPECT_EQ(frame.bytes[second + 4], 1);
            EXPECT_EQ(frame.bytes[second + 5], 9);
            EXPECT_EQ(frame.bytes[sof + 15], 1);  // component 2 uses table 1
        } else {
            EXPECT_EQ(second, std::string::npos);
            EXPECT_EQ(frame.bytes[sof + 15], 0);
            EXPECT_EQ(frame.bytes[sof + 18], 0);
        }
        EXPECT_TRUE(StartsWith(std::vector<uint8_t>(frame.bytes.begin() + 2, frame.bytes.end()),
                               {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0}));
    }
}

TEST(JpegParser, RestartHeaderBecomesDriAndIsNotScanData)
{
    for (const uint8_t q : {uint8_t{50}, uint8_t{255}}) {
        SCOPED_TRACE(static_cast<int>(q));
        std::vector<uint8_t> payload = MainHeader(0, 64, q, 40, 30);
        payload.insert(payload.end(), {0x00, 0x0A, 0xFF, 0xFF});
        if (q >= 128) {
            payload.insert(payload.end(), {0, 0, 0, 128});
            payload.insert(payload.end(), 128, 3);
        }
        const std::vector<uint8_t> data = {0xAB, 0xCD, 0xEF};
        std::vector<uint8_t> first = WithData(payload, 700);
        first.insert(first.end(), data.begin(), data.end());
        Rig rig;
        rig.feeder->Feed(first, false, 0);
        std::vector<uint8_t> second = MainHeader(static_cast<uint32_t>(first.size()), 64, q, 40, 30);
        second.insert(second.end(), {0x00, 0x0A, 0xFF, 0xFF, 0x11, 0x22});
        rig.feeder->Feed(second, true, 0);

        const std::vector<DeliveredFrame> frames = rig.host.Frames();
        ASSERT_EQ(frames.size(), 1u);
        const std::vector<uint8_t>& image = frames[0].bytes;
        const size_t dri = FindMarker(image, 0xDD);
        ASSERT_NE(dri, std::string::npos);
        EXPECT_EQ(std::vector<uint8_t>(image.begin() + dri, image.begin() + dri + 6),
                  (std::vector<uint8_t>{0xFF, 0xDD, 0x00, 0x04, 0x00, 0x0A}));
        const size_t sos = FindMarker(image, 0xDA);
        EXPECT_EQ(image[sos + 15], 1);  // scan data starts after the restart header
        EXPECT_TRUE(EndsWith(image, {0xAB, 0xCD, 0xEF, 0x11, 0x22, 0xFF, 0xD9}));
        EXPECT_EQ(frames[0].sizeClass, 2u);
        const size_t sof = FindMarker(image, 0xC0);
        EXPECT_EQ(image[sof + 11], 0x21);  // type 64 is type 0 with restart markers
    }
}

TEST(JpegParser, ContinuationWithoutFirstFragmentIsDroppedAndRoomForTheHeadersIsAllocated)
{
    Rig rig;
    rig.feeder->Feed(WithData(MainHeader(1000, 1, 50, 40, 30), 700), true, 0);
    EXPECT_EQ(rig.host.FrameCount(), 0u);
    rig.feeder->Feed(WithData(MainHeader(0, 1, 50, 40, 30), 700), true, 0);
    EXPECT_EQ(rig.host.FrameCount(), 1u);
    // Room for the headers is allocated.
    EXPECT_EQ(rig.host.LastAllocationSize(), 700 + 8 + CJpegRTPMediaParser::kHeaderRoom);
}

TEST(JpegParser, PictureShorterThanItsRebuiltHeadersIsDropped)
{
    Rig rig;
    rig.feeder->Feed(WithData(MainHeader(0, 1, 50, 40, 30), 600 - 8), true, 0);
    EXPECT_EQ(rig.host.FrameCount(), 0u);
    EXPECT_EQ(rig.host.Allocations(), 1u);
    EXPECT_TRUE(rig.AllFramesReleased());
}

TEST(JpegParser, TableHeaderWithNonZeroMbzFallsBackToTablesFromQ)
{
    std::vector<uint8_t> payload = {0, 0, 0, 0, 1, 200, 40, 30, 1, 0, 0, 128};
    payload.insert(payload.end(), 700, 5);
    const DeliveredFrame frame = SinglePicture(payload);
    EXPECT_EQ(frame.bytes.size(), 2 + 18 + 69 + 69 + 19 + 432 + 14 + (payload.size() - 12) + 2);
}

}  // namespace
}  // namespace korvane::test
