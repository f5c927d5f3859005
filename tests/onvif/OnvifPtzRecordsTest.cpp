#include <gtest/gtest.h>

#include "onvif/OnvifPtzClient.h"
#include "onvif/OnvifPtzRecords.h"
#include "onvif/XmlParser.h"

using namespace korvane;

namespace {

TEST(OnvifPtzRecordsTest, PtzNamespaceVersion)
{
    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("http://www.onvif.org/ver20/ptz/wsdl"), "ver20");
    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("http://www.onvif.org/ver10/ptz/wsdl"), "ver10");
    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("http://example.com/ver10 x"), "ver10");
    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("http://example.com/ver10"), "");  // no end character
    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("urn:ptz"), "");
}

TEST(OnvifPtzRecordsTest, SpeedWritesOnlyTheSpacesItHas)
{
    Onvif::PtzSpeed speed;
    speed.panTiltX = 1.0f;
    speed.panTiltY = 0.5f;
    speed.zoomX = 0.15f;
    EXPECT_EQ(speed.ToXml(), "");
    speed.panTiltSpace = "pt";
    EXPECT_EQ(speed.ToXml(), "<tt:PanTilt space=\"pt\" x=\"1\" y=\"0.50000\" />");
    speed.zoomSpace = "z";
    EXPECT_EQ(speed.ToXml(), "<tt:PanTilt space=\"pt\" x=\"1\" y=\"0.50000\" /><tt:Zoom space=\"z\" x=\"0.15000\" />");
}

TEST(OnvifPtzRecordsTest, PresetWritesNameAndTokenWhenKnown)
{
    Onvif::PresetNode preset;
    preset.name = "Door";
    EXPECT_EQ(preset.ToXml(), "<tptz:PresetName>Door</tptz:PresetName>");
    preset.token = "7";
    EXPECT_EQ(preset.ToXml(), "<tptz:PresetName>Door</tptz:PresetName><tptz:PresetToken>7</tptz:PresetToken>");
}

TEST(OnvifPtzRecordsTest, ConfigurationIsReadAndWrittenWithItsPantSpelling)
{
    const std::string reply =
        "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:tt=\"http://www.onvif.org/ver10/schema\">"
        "<e:Body><tt:Conf token=\"c1\"><tt:Name>PTZ</tt:Name><tt:UseCount>2</tt:UseCount>"
        "<tt:NodeToken>n1</tt:NodeToken>"
        "<tt:DefaultAbsolutePantTiltPositionSpace>abs</tt:DefaultAbsolutePantTiltPositionSpace>"
        "<tt:DefaultContinuousZoomVelocitySpace>vel</tt:DefaultContinuousZoomVelocitySpace>"
        "<tt:DefaultPTZSpeed><tt:PanTilt x=\"0.5\" y=\"1\" space=\"ps\"/><tt:Zoom x=\"0.25\" space=\"zs\"/>"
        "</tt:DefaultPTZSpeed><tt:DefaultPTZTimeout>PT10S</tt:DefaultPTZTimeout></tt:Conf></e:Body></e:Envelope>";
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText(reply));
    Onvif::PTZConfiguration configuration;
    ASSERT_TRUE(configuration.Read(parser, "SOAP-ENV:Envelope/SOAP-ENV:Body/tt:Conf"));
    EXPECT_TRUE(configuration.IsValid());
    EXPECT_EQ(configuration.token, "c1");
    EXPECT_EQ(configuration.defaultAbsolutePantTiltPositionSpace, "abs");
    EXPECT_FLOAT_EQ(configuration.defaultSpeed.zoomX, 0.25f);
    EXPECT_EQ(configuration.ToXml(),
              "<tptz:PTZConfiguration token=\"c1\"><tt:Name>PTZ</tt:Name><tt:UseCount>2</tt:UseCount>"
              "<tt:NodeToken>n1</tt:NodeToken>"
              "<tt:DefaultAbsolutePantTiltPositionSpace>abs</tt:DefaultAbsolutePantTiltPositionSpace>"
              "<tt:DefaultContinuousZoomVelocitySpace>vel</tt:DefaultContinuousZoomVelocitySpace>"
              "<tt:DefaultPTZSpeed><tt:PanTilt space=\"ps\" x=\"0.50000\" y=\"1\" />"
              "<tt:Zoom space=\"zs\" x=\"0.25000\" /></tt:DefaultPTZSpeed>"
              "<tt:DefaultPTZTimeout>PT10S</tt:DefaultPTZTimeout></tptz:PTZConfiguration>");
}

}  // namespace
