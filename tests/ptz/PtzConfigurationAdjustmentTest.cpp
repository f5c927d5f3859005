#include <gtest/gtest.h>

#include "onvif/XmlParser.h"
#include "ptz/PtzConfigurationAdjustment.h"
#include "support/TestData.h"

namespace korvane::test {
namespace {

constexpr char kPanTilt[] = "http://www.onvif.org/ver10/tptz/PanTiltSpaces/";
constexpr char kZoom[] = "http://www.onvif.org/ver10/tptz/ZoomSpaces/";

// A configuration in generic spaces at full speed with a time-out of five seconds.
Onvif::PTZConfiguration GenericConfiguration()
{
    CXmlParser reply;
    EXPECT_TRUE(reply.LoadFromText(ReadTestData("ptz/generic-configuration.xml")));
    Onvif::PTZConfiguration configuration;
    EXPECT_TRUE(configuration.Read(reply, "tt:PTZConfiguration"));
    return configuration;
}

TEST(PtzConfigurationAdjustmentTest, OnlySpeedsAndTimeOutAreChanges)
{
    Onvif::PTZConfiguration configuration = GenericConfiguration();
    EXPECT_FALSE(AdjustPtzConfiguration(configuration, 1.0f, 5000));  // a fit configuration stays as it is
    EXPECT_EQ(configuration.ToXml(), GenericConfiguration().ToXml());

    // Other spaces become generic without counting as a change.
    configuration.defaultAbsolutePantTiltPositionSpace = std::string(kPanTilt) + "PositionSpaceDegrees";
    configuration.defaultRelativeZoomTranslationSpace = std::string(kZoom) + "TranslationSpaceMillimeter";
    configuration.defaultContinuousPanTiltVelocitySpace = "NoSlash";
    EXPECT_FALSE(AdjustPtzConfiguration(configuration, 1.0f, 5000));
    EXPECT_EQ(configuration.defaultAbsolutePantTiltPositionSpace, std::string(kPanTilt) + "PositionGenericSpace");
    EXPECT_EQ(configuration.defaultRelativeZoomTranslationSpace, std::string(kZoom) + "TranslationGenericSpace");
    EXPECT_EQ(configuration.defaultContinuousPanTiltVelocitySpace, "NoSlash");

    configuration = GenericConfiguration();
    configuration.defaultSpeed.panTiltY = 0.5f;
    EXPECT_TRUE(AdjustPtzConfiguration(configuration, 1.0f, 5000));
    EXPECT_FLOAT_EQ(configuration.defaultSpeed.panTiltX, 1.0f);
    EXPECT_FLOAT_EQ(configuration.defaultSpeed.panTiltY, 1.0f);

    configuration = GenericConfiguration();
    configuration.defaultSpeed.zoomSpace = std::string(kZoom) + "SpeedSpaceMillimeter";
    EXPECT_TRUE(AdjustPtzConfiguration(configuration, 1.0f, 5000));
    EXPECT_EQ(configuration.defaultSpeed.zoomSpace, std::string(kZoom) + "ZoomGenericSpeedSpace");

    configuration = GenericConfiguration();
    EXPECT_TRUE(AdjustPtzConfiguration(configuration, 1.0f, 15000));
    EXPECT_EQ(configuration.defaultTimeout, "PT15S");
    configuration.defaultTimeout = "PT1M";
    EXPECT_TRUE(AdjustPtzConfiguration(configuration, 1.0f, 900));
    EXPECT_EQ(configuration.defaultTimeout, "PT02S");
}

TEST(PtzConfigurationAdjustmentTest, WhatCannotBeSetIsLeftAlone)
{
    // Without a time-out of its own the configuration keeps none; a speed without space is not set.
    Onvif::PTZConfiguration configuration = GenericConfiguration();
    configuration.defaultTimeout.clear();
    configuration.defaultSpeed.zoomSpace.clear();
    configuration.defaultSpeed.zoomX = 0.2f;
    EXPECT_FALSE(AdjustPtzConfiguration(configuration, 1.0f, 5000));
    EXPECT_FLOAT_EQ(configuration.defaultSpeed.zoomX, 0.2f);

    // A configuration without a name is left alone.
    configuration = GenericConfiguration();
    configuration.name.clear();
    configuration.defaultSpeed.panTiltX = 0.3f;
    EXPECT_FALSE(AdjustPtzConfiguration(configuration, 1.0f, 5000));
    EXPECT_FLOAT_EQ(configuration.defaultSpeed.panTiltX, 0.3f);
}

}  // namespace
}  // namespace korvane::test
