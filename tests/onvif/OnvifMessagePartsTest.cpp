#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "capabilities/CameraReply.h"
#include "onvif/OnvifPtzClient.h"
#include "onvif/OnvifPtzRecords.h"
#include "onvif/OnvifRecords.h"
#include "onvif/OnvifUsernameToken.h"
#include "onvif/XmlParser.h"
#include "runtime/Base64.h"
#include "support/TestData.h"

using namespace korvane;

namespace {

const char kProfilePath[] = "SOAP-ENV:Envelope/SOAP-ENV:Body/trt:GetProfileResponse/trt:Profile";

class OnvifRecords : public ::testing::Test {
protected:
    // Reads the profile of a GetProfile reply with this content.
    bool ReadProfile(const std::string& content, Onvif::MediaProfile& profile)
    {
        CXmlParser parser;
        return parser.LoadFromText(ReplaceAll(texts.at("profile reply"), "{content}", content)) &&
               profile.Read(parser, kProfilePath);
    }

    const std::map<std::string, std::string> texts = test::ReadTestDataTexts("onvif/records.txt");
};

TEST_F(OnvifRecords, ProfileReadsItsSourceAndEncoder)
{
    Onvif::MediaProfile profile;
    ASSERT_TRUE(ReadProfile(texts.at("video source") + texts.at("video encoder"), profile));
    EXPECT_EQ(std::tie(profile.token, profile.name), std::make_tuple("p1", "MLIVE"));
    EXPECT_TRUE(profile.IsValid());
    const Onvif::VideoSourceConfiguration& source = profile.videoSource;
    EXPECT_EQ(std::tie(source.token, source.sourceToken), std::make_tuple("vsc0", "vs0"));
    EXPECT_EQ(std::tie(source.useCount, source.boundsX, source.boundsY, source.boundsWidth, source.boundsHeight),
              std::make_tuple(2u, 8u, 16u, 1920u, 1080u));
    const Onvif::VideoEncoderConfiguration& encoder = profile.videoEncoder;
    EXPECT_EQ(std::tie(encoder.token, encoder.encoding, encoder.h264Profile, encoder.sessionTimeout),
              std::make_tuple("2", "H264", "Main", "PT60S"));
    EXPECT_FLOAT_EQ(encoder.quality, 4.7f);
    EXPECT_EQ(std::tie(encoder.width, encoder.height, encoder.frameRateLimit, encoder.bitrateLimit),
              std::make_tuple(1280u, 720u, 25u, 4096u));
    EXPECT_EQ(encoder.h264GovLength, 30u);
    const Onvif::MulticastConfiguration& multicast = encoder.multicast;
    EXPECT_EQ(std::tie(multicast.ipv4Address, multicast.port, multicast.ttl, multicast.autoStart),
              std::make_tuple("239.1.2.3", 6000u, 5u, "false"));
    EXPECT_EQ(encoder.ToXml(), texts.at("video encoder written"));  // every field read is written back

    // A profile needs its source, not its encoder; numbers that are not numbers read as zero.
    Onvif::MediaProfile withoutEncoder;
    EXPECT_TRUE(ReadProfile(texts.at("video source"), withoutEncoder));
    EXPECT_TRUE(withoutEncoder.videoEncoder.token.empty());
    EXPECT_EQ(withoutEncoder.videoEncoder.width, 0u);
    Onvif::MediaProfile withoutSource;
    EXPECT_FALSE(ReadProfile(texts.at("video encoder"), withoutSource));

    Onvif::MediaProfile badNumbers;
    ASSERT_TRUE(ReadProfile(texts.at("video source with bad numbers"), badNumbers));
    const Onvif::VideoSourceConfiguration& bad = badNumbers.videoSource;
    EXPECT_EQ(std::tie(bad.useCount, bad.boundsX, bad.boundsY, bad.boundsWidth, bad.boundsHeight),
              std::make_tuple(0u, 0u, 7u, 0u, 0u));
}

TEST_F(OnvifRecords, EncoderWritesTheBlocksItsEncodingHasAndEscapedTexts)
{
    Onvif::VideoEncoderConfiguration encoder;
    encoder.mpeg4GovLength = 12;
    encoder.mpeg4Profile = "SP";
    encoder.h264GovLength = 30;
    encoder.encoding = "JPEG";
    std::string xml = encoder.ToXml();
    EXPECT_EQ(xml.find("<tt:H264>"), std::string::npos);
    EXPECT_EQ(xml.find("<tt:MPEG4>"), std::string::npos);
    encoder.encoding = "MPEG4";
    xml = encoder.ToXml();
    EXPECT_NE(xml.find("<tt:MPEG4><tt:GovLength>12</tt:GovLength><tt:Mpeg4Profile>SP</tt:Mpeg4Profile></tt:MPEG4>"),
              std::string::npos);
    EXPECT_EQ(xml.find("<tt:H264>"), std::string::npos);

    encoder.token = "t\"1'";
    encoder.name = "a<b>&\"c'";
    encoder.encoding = "JPEG";
    encoder.sessionTimeout = "PT1M0S";
    encoder.multicast.ipv4Address = "239.0.0.1<x/>";
    xml = encoder.ToXml();
    EXPECT_NE(xml.find("<Configuration token=\"t&quot;1&apos;\">"), std::string::npos);
    EXPECT_NE(xml.find("<tt:Name>a&lt;b&gt;&amp;&quot;c&apos;</tt:Name>"), std::string::npos);
    CXmlParser parser;  // the result stays well formed
    ASSERT_TRUE(parser.LoadFromText("<r xmlns:tt=\"http://www.onvif.org/ver10/schema\">" + xml + "</r>"));
    Onvif::VideoEncoderConfiguration back;
    ASSERT_TRUE(back.Read(parser, "r/Configuration"));
    EXPECT_EQ(back.token, encoder.token);
    EXPECT_EQ(back.name, encoder.name);
    EXPECT_EQ(back.multicast.ipv4Address, encoder.multicast.ipv4Address);

    // Multicast without an address writes no address element.
    Onvif::MulticastConfiguration multicast;
    multicast.port = 6000;
    multicast.ttl = 5;
    multicast.autoStart = "true";
    EXPECT_EQ(multicast.ToXml(), texts.at("multicast without address written"));
}

TEST_F(OnvifRecords, PtzRecordsWithTheirPantSpellingAndTheNamespaceVersion)
{
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText(texts.at("ptz configuration reply")));
    Onvif::PTZConfiguration configuration;
    ASSERT_TRUE(configuration.Read(parser, "SOAP-ENV:Envelope/SOAP-ENV:Body/tt:Conf"));
    EXPECT_TRUE(configuration.IsValid());
    EXPECT_EQ(configuration.token, "c1");
    EXPECT_EQ(configuration.defaultAbsolutePantTiltPositionSpace, "abs");
    EXPECT_FLOAT_EQ(configuration.defaultSpeed.zoomX, 0.25f);
    EXPECT_EQ(configuration.ToXml(), texts.at("ptz configuration written"));

    // Speeds and presets write what they have.
    Onvif::PtzSpeed speed;
    speed.panTiltX = 1.0f;
    speed.panTiltY = 0.5f;
    speed.zoomX = 0.15f;
    EXPECT_EQ(speed.ToXml(), "");
    speed.panTiltSpace = "pt";
    EXPECT_EQ(speed.ToXml(), "<tt:PanTilt space=\"pt\" x=\"1\" y=\"0.50000\" />");
    speed.zoomSpace = "z";
    EXPECT_EQ(speed.ToXml(), "<tt:PanTilt space=\"pt\" x=\"1\" y=\"0.50000\" /><tt:Zoom space=\"z\" x=\"0.15000\" />");

    Onvif::PresetNode preset;
    preset.name = "Door";
    EXPECT_EQ(preset.ToXml(), "<tptz:PresetName>Door</tptz:PresetName>");
    preset.token = "7";
    EXPECT_EQ(preset.ToXml(), "<tptz:PresetName>Door</tptz:PresetName><tptz:PresetToken>7</tptz:PresetToken>");

    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("http://www.onvif.org/ver20/ptz/wsdl"), "ver20");
    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("http://www.onvif.org/ver10/ptz/wsdl"), "ver10");
    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("http://example.com/ver10 x"), "ver10");
    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("http://example.com/ver10"), "");  // no end character
    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("urn:ptz"), "");
}

SYSTEMTIME At(uint16_t minute, uint16_t second, uint16_t millisecond)
{
    return SYSTEMTIME{2026, 12, 0, 6, 7, minute, second, millisecond};
}

TEST(OnvifUsernameToken, NonceCreatedAndDigestTexts)
{
    uint32_t draw = 0;
    auto counting = [&draw] { return draw++; };
    // counter, 'a', millisecond, 'b', second, 'c', minute, then 'd', 'e' as filler up to sixteen characters
    EXPECT_EQ(BuildNonceText(0x1234, At(9, 7, 5), counting), "1234a005b07c09de");
    auto random = [] { return 63u; };
    EXPECT_EQ(BuildNonceText(0x123456, At(59, 59, 999), random), "123456/3e7/3b/3b");  // no filler
    EXPECT_EQ(BuildNonceText(0x1234567, At(59, 59, 999), random).size(), 17u);
    EXPECT_EQ(FormatCreatedTime(At(5, 4, 321)), "2026-12-06T07:05:04Z");  // no fraction of a second

    // The digest of the published example; successive nonces differ.
    const std::vector<uint8_t> nonce = Base64Decode("LKqI6G/AikKCQrN0zqZFlg==");
    EXPECT_EQ(ComputePasswordDigest(std::string(nonce.begin(), nonce.end()), "2010-09-16T07:50:45Z", "userpassword"),
              "tuOSpGlFlIXsozq4HFNeeGeFLEI=");

    const USERNAME_TOKEN_DIGEST first = MakeUsernameTokenDigest("secret");
    const USERNAME_TOKEN_DIGEST second = MakeUsernameTokenDigest("secret");
    EXPECT_NE(first.nonce, second.nonce);
    EXPECT_EQ(Base64Decode(first.nonce).size(), 16u);
    EXPECT_EQ(first.created.size(), 20u);
}

}  // namespace
