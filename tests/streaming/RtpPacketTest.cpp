#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "streaming/RTPPacket.h"
#include "StreamTestSupport.h"

namespace korvane {
namespace {

using Bytes = std::vector<uint8_t>;

bool Parse(CRTPPacket& packet, const Bytes& bytes)
{
    return packet.Parse(bytes.data(), bytes.size());
}

TEST(RtpPacket, ReadsTheFixedHeaderAndNeedsMoreThanItAndVersionTwo)
{
    Bytes bytes = test::MakeRtp(0xABCD, 0x01020304, {1, 2, 3}, true);
    bytes[1] = 0x80 | 26;
    CRTPPacket packet;
    ASSERT_TRUE(Parse(packet, bytes));
    EXPECT_EQ(packet.m_marker, 1);
    EXPECT_EQ(packet.m_payloadType, 26);
    EXPECT_EQ(packet.m_padding, 0);
    EXPECT_EQ(packet.m_sequenceNumber, 0xABCD);
    EXPECT_EQ(packet.m_timeStamp, 0x01020304u);
    uint32_t ssrc;
    std::memcpy(&ssrc, &bytes[8], sizeof ssrc);
    EXPECT_EQ(packet.m_ssrc, ssrc);  // kept as received
    EXPECT_EQ(packet.m_csrcCount, 0);
    EXPECT_EQ(Bytes(packet.Payload(), packet.Payload() + packet.PayloadLength()), (Bytes{1, 2, 3}));

    // More than the fixed header is needed, and version two.
    Bytes twelve = test::MakeRtp(1, 1, {});
    EXPECT_FALSE(Parse(packet, twelve));

    Bytes thirteen = test::MakeRtp(1, 1, {0x55});
    ASSERT_TRUE(Parse(packet, thirteen));
    EXPECT_EQ(packet.m_payload, Bytes{0x55});

    for (uint8_t version : {0x00, 0x40, 0xC0}) {
        Bytes other = thirteen;
        other[0] = version;
        EXPECT_FALSE(Parse(packet, other)) << int(version);
    }
    EXPECT_FALSE(packet.Parse(nullptr, 20));
}

TEST(RtpPacket, CopiesTheCsrcListAndTheExtensionOnlyWhenWhole)
{
    CRTPPacket packet;
    Bytes bytes = test::MakeRtp(1, 1, {});
    bytes[0] = 0x82;
    const Bytes csrcs = {1, 1, 1, 1, 2, 2, 2, 2};
    bytes.insert(bytes.end(), csrcs.begin(), csrcs.end());
    EXPECT_FALSE(Parse(packet, bytes));  // the list ends the datagram: no payload

    bytes.push_back(9);
    ASSERT_TRUE(Parse(packet, bytes));
    EXPECT_EQ(packet.m_csrcCount, 2);
    EXPECT_EQ(packet.m_csrcList, csrcs);
    EXPECT_EQ(packet.m_payload, Bytes{9});

    bytes[0] = 0x8F;  // 15 sources announced, 2 present
    EXPECT_FALSE(Parse(packet, bytes));

    // The extension is copied; one that runs past the end is rejected.
    bytes = test::MakeRtp(1, 1, {});
    bytes[0] = 0x90;
    const Bytes extension = {0xBE, 0xDE, 0x00, 0x01, 7, 7, 7, 7};
    bytes.insert(bytes.end(), extension.begin(), extension.end());
    bytes.push_back(0x42);
    ASSERT_TRUE(Parse(packet, bytes));
    EXPECT_EQ(packet.m_extensionProfile, 0xBEDE);
    EXPECT_EQ(packet.m_extensionLength, 1);
    EXPECT_EQ(packet.m_extension, (Bytes{7, 7, 7, 7}));
    EXPECT_EQ(packet.m_payload, Bytes{0x42});

    Bytes tooLong = bytes;
    tooLong[15] = 2;  // two words announced, one and a byte present
    EXPECT_FALSE(Parse(packet, tooLong));

    Bytes noHeader = test::MakeRtp(1, 1, {0xBE, 0xDE, 0});
    noHeader[0] = 0x90;  // fewer than 4 bytes after the fixed header
    EXPECT_FALSE(Parse(packet, noHeader));
}

TEST(RtpPacket, RemovesPaddingAndRejectsPaddingLargerThanThePayload)
{
    CRTPPacket packet;
    Bytes bytes = test::MakeRtp(1, 1, {5, 6, 0, 2});
    bytes[0] = 0xA0;
    ASSERT_TRUE(Parse(packet, bytes));
    EXPECT_EQ(packet.m_padding, 1);
    EXPECT_EQ(packet.m_payload, (Bytes{5, 6}));

    bytes.back() = 4;  // padding is the whole payload
    ASSERT_TRUE(Parse(packet, bytes));
    EXPECT_TRUE(packet.m_payload.empty());

    bytes.back() = 5;
    EXPECT_FALSE(Parse(packet, bytes));
    bytes.back() = 0xFF;
    EXPECT_FALSE(Parse(packet, bytes));
}

TEST(RtpPacket, ParsingReleasesWhatThePreviousPacketHeld)
{
    CRTPPacket packet;
    Bytes withCsrc = test::MakeRtp(1, 1, {});
    withCsrc[0] = 0x81;
    withCsrc.insert(withCsrc.end(), {1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(Parse(packet, withCsrc));

    ASSERT_TRUE(Parse(packet, test::MakeRtp(2, 2, {8})));
    EXPECT_EQ(packet.m_csrcCount, 0);
    EXPECT_TRUE(packet.m_csrcList.empty());
    EXPECT_EQ(packet.m_payload, Bytes{8});

    EXPECT_FALSE(Parse(packet, test::MakeRtp(3, 3, {})));
    EXPECT_TRUE(packet.m_payload.empty());
    EXPECT_EQ(packet.m_sequenceNumber, 0);
}

}  // namespace
}  // namespace korvane
