#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "streaming/SDPResponseParser.h"

using namespace korvane;

namespace {

using Bytes = std::vector<uint8_t>;

SdpInfo ParseOk(const std::string& body)
{
    CSDPResponseParser parser;
    EXPECT_TRUE(parser.Parse(body)) << body;
    return parser.m_sdpInfo;
}

}  // namespace

TEST(SdpParser, FillsTheThreeSections)
{
    const SdpInfo info = ParseOk(
        "v=0\r\n"
        "c=IN IP4 10.0.0.1\r\n"
        "a=control:*\r\n"
        "m=video 5000 RTP/AVP 96\r\n"
        "c=IN IP4 239.1.2.3/16\r\n"
        "a=rtpmap:96 H264/90000\r\n"
        "a=control:trackID=1\r\n"
        "m=audio 5002 RTP/AVP 0\r\n"
        "a=rtpmap:0 PCMU/8000\r\n"
        "a=fmtp:0 anything\r\n"
        "a=control:rtsp://cam/audio\r\n"
        "m=application 0 RTP/AVP 107\r\n"
        "a=control:trackID=3\r\n");
    EXPECT_EQ(info.Video().port, 5000);
    EXPECT_EQ(info.Video().profile, "RTP/AVP");
    EXPECT_EQ(info.Video().connectionAddress, "239.1.2.3");
    EXPECT_EQ(info.Video().encoding, "H264/90000");
    EXPECT_EQ(info.Video().control, "trackID=1");
    EXPECT_EQ(info.Audio().port, 5002);
    EXPECT_EQ(info.Audio().encoding, "PCMU/8000");
    EXPECT_EQ(info.Audio().control, "rtsp://cam/audio");
    EXPECT_EQ(info.Audio().connectionAddress, "");
    EXPECT_EQ(info.media[SdpInfo::kMetadata].control, "trackID=3");

    // Session-level lines only: no section takes the connection address.
    const SdpInfo sessionOnly = ParseOk("v=0\r\no=- 1 1 IN IP4 1.2.3.4\r\ns=x\r\nc=IN IP4 1.2.3.4\r\n");
    for (const SdpMediaInfo& section : sessionOnly.media)
        EXPECT_EQ(section.connectionAddress, "");
}

TEST(SdpParser, AcceptsOrRejectsBodies)
{
    const std::string video = "m=video 0 RTP/AVP 96\r\n";
    const struct {
        std::string body;
        bool parses;
    } cases[] = {
        {"", true},
        {"\r\n\r\n\n", true},
        {"m=\r\n", false},
        {"m=   \r\n", false},
        {video + "c=IN IP4\r\n", false},
        {video + "c=IN XX 1.2.3.4\r\n", false},
        {video + "c=IN IP4 /8\r\n", false},
        {video + "c=IN IP6 ff15::1\r\n", true},
        {video + "a=control\r\n", false},
        {video + "a=control:\r\n", false},
        {video + "a=rtpmap:96\r\n", false},
        {video + "a=rtpmap 96 H264/90000\r\n", false},
        {video + "a=fmtp:96 sprop-parameter-sets=Z0IAHpWoKA9puAgICBA=\r\n", false},
        {video + "a=fmtp:96 sprop-parameter-sets=!!,aM48gA==\r\n", false},
        // Longer than 256 bytes once decoded: not taken.
        {video + "a=fmtp:96 sprop-parameter-sets=" + std::string(400, 'A') + ",aM48gA==\r\n", false},
        // Format parameters outside the video section.
        {"a=fmtp:96 config=00\r\n", false},
        {video + "a=fmtp:96 packetization-mode=1\r\n", false},
        {video + "a=fmtp:\r\n", false},
        {"m=audio 0 RTP/AVP 96\r\na=fmtp:96 whatever\r\n", true},
    };
    for (const auto& c : cases) {
        CSDPResponseParser parser;
        EXPECT_EQ(parser.Parse(c.body), c.parses) << c.body.substr(0, 80);
    }
}

TEST(SdpParser, MediaLines)
{
    EXPECT_EQ(ParseOk("m=video 5000/2 RTP/AVP 96\r\n").Video().port, 0);
    EXPECT_EQ(ParseOk("m=video 70000 RTP/AVP 96\r\n").Video().port, 70000 & 0xFFFF);
    EXPECT_EQ(ParseOk("m=video 0\r\n").Video().profile, "");
    // An unknown media kind goes back to session level: its lines are not kept.
    const SdpInfo info = ParseOk("m=video 1 RTP/AVP 96\r\nm=text 2 RTP/AVP 98\r\na=control:x\r\n");
    EXPECT_EQ(info.Video().control, "");
}

TEST(SdpParser, ParameterSetsAndConfig)
{
    const SdpInfo info = ParseOk(
        "m=video 0 RTP/AVP 96\r\n"
        "a=fmtp:96 packetization-mode=1;sprop-parameter-sets=Z0IAHpWoKA9puAgICBA=,aM48gA==,AAAA;"
        "profile-level-id=42001e\r\n");
    EXPECT_EQ(info.sequenceParameterSet,
              (Bytes{0x67, 0x42, 0x00, 0x1E, 0x95, 0xA8, 0x28, 0x0F, 0x69, 0xB8, 0x08, 0x08, 0x08, 0x10}));
    EXPECT_EQ(info.pictureParameterSet, (Bytes{0x68, 0xCE, 0x3C, 0x80}));
    // MPEG-4 configuration in hexadecimal or Base64.
    const struct {
        const char* fmtp;
        Bytes config;
    } configs[] = {
        {"profile-level-id=1;config=000001B0F5", {0x00, 0x00, 0x01, 0xB0, 0xF5}},
        {"config=abc", {0xAB, 0x0C}},
        {"config=AAABsA==", {0x00, 0x00, 0x01, 0xB0}},
    };
    for (const auto& c : configs)
        EXPECT_EQ(ParseOk(std::string("m=video 0 RTP/AVP 96\r\na=fmtp:96 ") + c.fmtp + "\r\n").config, c.config);
}
