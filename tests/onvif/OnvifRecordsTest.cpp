#include <gtest/gtest.h>

#include <string>

#include "onvif/OnvifRecords.h"
#include "onvif/XmlParser.h"

using korvane::CXmlParser;

namespace {

const char kEnvelopeStart[] =
    "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\" xmlns:tt=\"http://www.onvif.org/ver10/schema\">"
    "<env:Body><trt:GetProfileResponse>";
const char kEnvelopeEnd[] = "</trt:GetProfileResponse></env:Body></env:Envelope>";
const char kProfilePath[] = "SOAP-ENV:Envelope/SOAP-ENV:Body/trt:GetProfileResponse/trt:Profile";

const char kSource[] =
    "<tt:VideoSourceConfiguration token=\"vsc0\"><tt:Name>source</tt:Name><tt:UseCount>2</tt:UseCount>"
    "<tt:SourceToken>vs0</tt:SourceToken><tt:Bounds x=\"8\" y=\"16\" width=\"1920\" height=\"1080\"/>"
    "</tt:VideoSourceConfiguration>";
const char kEncoder[] =
    "<tt:VideoEncoderConfiguration token=\"2\"><tt:Name>h264</tt:Name><tt:UseCount>1</tt:UseCount>"
    "<tt:Encoding>H264</tt:Encoding><tt:Resolution><tt:Width>1280</tt:Width><tt:Height>720</tt:Height>"
    "</tt:Resolution><tt:Quality>4.7</tt:Quality><tt:RateControl><tt:FrameRateLimit>25</tt:FrameRateLimit>"
    "<tt:EncodingInterval>1</tt:EncodingInterval><tt:BitrateLimit>4096</tt:BitrateLimit></tt:RateControl>"
    "<tt:H264><tt:GovLength>30</tt:GovLength><tt:H264Profile>Main</tt:H264Profile></tt:H264>"
    "<tt:Multicast><tt:Address><tt:Type>IPv4</tt:Type><tt:IPv4Address>239.1.2.3</tt:IPv4Address></tt:Address>"
    "<tt:Port>6000</tt:Port><tt:TTL>5</tt:TTL></tt:Multicast><tt:SessionTimeout>PT60S</tt:SessionTimeout>"
    "</tt:VideoEncoderConfiguration>";

std::string ProfileReply(const std::string& content)
{
    return std::string(kEnvelopeStart) + "<trt:Profile token=\"p1\"><tt:Name>MLIVE</tt:Name>" + content +
           "</trt:Profile>" + kEnvelopeEnd;
}

}  // namespace

TEST(OnvifRecords, ProfileReadsItsSourceAndEncoder)
{
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText(ProfileReply(std::string(kSource) + kEncoder)));
    Onvif::MediaProfile profile;
    ASSERT_TRUE(profile.Read(parser, kProfilePath));
    EXPECT_EQ(profile.token, "p1");
    EXPECT_EQ(profile.name, "MLIVE");
    EXPECT_TRUE(profile.IsValid());

    const Onvif::VideoSourceConfiguration& source = profile.videoSource;
    EXPECT_EQ(source.token, "vsc0");
    EXPECT_EQ(source.useCount, 2u);
    EXPECT_EQ(source.sourceToken, "vs0");
    EXPECT_EQ(source.boundsX, 8u);
    EXPECT_EQ(source.boundsY, 16u);
    EXPECT_EQ(source.boundsWidth, 1920u);
    EXPECT_EQ(source.boundsHeight, 1080u);

    const Onvif::VideoEncoderConfiguration& encoder = profile.videoEncoder;
    EXPECT_EQ(encoder.token, "2");
    EXPECT_EQ(encoder.encoding, "H264");
    EXPECT_FLOAT_EQ(encoder.quality, 4.7f);
    EXPECT_EQ(encoder.width, 1280u);
    EXPECT_EQ(encoder.height, 720u);
    EXPECT_EQ(encoder.frameRateLimit, 25u);
    EXPECT_EQ(encoder.bitrateLimit, 4096u);
    EXPECT_EQ(encoder.h264GovLength, 30u);
    EXPECT_EQ(encoder.h264Profile, "Main");
    EXPECT_EQ(encoder.sessionTimeout, "PT60S");
    EXPECT_EQ(encoder.multicast.ipv4Address, "239.1.2.3");
    EXPECT_EQ(encoder.multicast.port, 6000u);
    EXPECT_EQ(encoder.multicast.ttl, 5u);
    EXPECT_EQ(encoder.multicast.autoStart, "false");
}

TEST(OnvifRecords, ProfileWithoutEncoderReadsButNotWithoutSource)
{
    CXmlParser withSource;
    ASSERT_TRUE(withSource.LoadFromText(ProfileReply(kSource)));
    Onvif::MediaProfile profile;
    EXPECT_TRUE(profile.Read(withSource, kProfilePath));
    EXPECT_TRUE(profile.videoEncoder.token.empty());
    EXPECT_EQ(profile.videoEncoder.width, 0u);

    CXmlParser withoutSource;
    ASSERT_TRUE(withoutSource.LoadFromText(ProfileReply(kEncoder)));
    Onvif::MediaProfile incomplete;
    EXPECT_FALSE(incomplete.Read(withoutSource, kProfilePath));
}

TEST(OnvifRecords, NumbersThatAreNotNumbersReadAsZero)
{
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText(ProfileReply(
        "<tt:VideoSourceConfiguration token=\"v\"><tt:UseCount>12abc</tt:UseCount>"
        "<tt:Bounds x=\"-4\" y=\" 7 \" width=\"99999999999\"/></tt:VideoSourceConfiguration>")));
    Onvif::MediaProfile profile;
    ASSERT_TRUE(profile.Read(parser, kProfilePath));
    EXPECT_EQ(profile.videoSource.useCount, 0u);
    EXPECT_EQ(profile.videoSource.boundsX, 0u);
    EXPECT_EQ(profile.videoSource.boundsY, 7u);
    EXPECT_EQ(profile.videoSource.boundsWidth, 0u);
    EXPECT_EQ(profile.videoSource.boundsHeight, 0u);
}

TEST(OnvifRecords, EncoderReadFromTheCameraWritesBackEveryField)
{
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText(ProfileReply(std::string(kSource) + kEncoder)));
    Onvif::MediaProfile profile;
    ASSERT_TRUE(profile.Read(parser, kProfilePath));
    EXPECT_EQ(profile.videoEncoder.ToXml(),
              "<Configuration token=\"2\"><tt:Name>h264</tt:Name><tt:UseCount>1</tt:UseCount>"
              "<tt:Encoding>H264</tt:Encoding><tt:Resolution><tt:Width>1280</tt:Width><tt:Height>720</tt:Height>"
              "</tt:Resolution><tt:Quality>4</tt:Quality><tt:RateControl><tt:FrameRateLimit>25</tt:FrameRateLimit>"
              "<tt:EncodingInterval>1</tt:EncodingInterval><tt:BitrateLimit>4096</tt:BitrateLimit></tt:RateControl>"
              "<tt:H264><tt:GovLength>30</tt:GovLength><tt:H264Profile>Main</tt:H264Profile></tt:H264>"
              "<tt:Multicast><tt:Address><tt:Type>IPv4</tt:Type><tt:IPv4Address>239.1.2.3</tt:IPv4Address>"
              "</tt:Address><tt:Port>6000</tt:Port><tt:TTL>5</tt:TTL><tt:AutoStart>false</tt:AutoStart>"
              "</tt:Multicast><tt:SessionTimeout>PT60S</tt:SessionTimeout></Configuration>");
}

TEST(OnvifRecords, EncoderBlocksFollowTheEncoding)
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
}

TEST(OnvifRecords, MulticastWithoutAddressWritesNoAddressElement)
{
    Onvif::MulticastConfiguration multicast;
    multicast.port = 6000;
    multicast.ttl = 5;
    multicast.autoStart = "true";
    EXPECT_EQ(multicast.ToXml(),
              "<tt:Multicast><tt:Address><tt:Type>IPv4</tt:Type></tt:Address><tt:Port>6000</tt:Port>"
              "<tt:TTL>5</tt:TTL><tt:AutoStart>true</tt:AutoStart></tt:Multicast>");
}

TEST(OnvifRecords, TextsAreEscapedAndTheResultStaysWellFormed)
{
    Onvif::VideoEncoderConfiguration encoder;
    encoder.token = "t\"1'";
    encoder.name = "a<b>&\"c'";
    encoder.encoding = "JPEG";
    encoder.sessionTimeout = "PT1M0S";
    encoder.multicast.ipv4Address = "239.0.0.1<x/>";
    const std::string xml = encoder.ToXml();
    EXPECT_NE(xml.find("<Configuration token=\"t&quot;1&apos;\">"), std::string::npos);
    EXPECT_NE(xml.find("<tt:Name>a&lt;b&gt;&amp;&quot;c&apos;</tt:Name>"), std::string::npos);

    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText("<r xmlns:tt=\"http://www.onvif.org/ver10/schema\">" + xml + "</r>"));
    Onvif::VideoEncoderConfiguration back;
    ASSERT_TRUE(back.Read(parser, "r/Configuration"));
    EXPECT_EQ(back.token, encoder.token);
    EXPECT_EQ(back.name, encoder.name);
    EXPECT_EQ(back.multicast.ipv4Address, encoder.multicast.ipv4Address);
}
