#include <gtest/gtest.h>

#include <tuple>

#include "audio/AudioCapabilities.h"
#include "ptz/PtzCapabilities.h"

namespace korvane {
namespace {

// Centre, unzoom and area zoom are written only with the motions they need.
TEST(PtzCapabilities, WritesTheOneLineForm)
{
    CPtzCapabilities caps;
    caps.m_center = caps.m_unzoom = caps.m_areaZoom = true;
    EXPECT_NE(caps.ToString().find("Center=0; Unzoom=0; AreaZoom=0;"), std::string::npos);
    caps.m_tilt = caps.m_zoom = true;
    EXPECT_NE(caps.ToString().find("Center=1; Unzoom=1; AreaZoom=1;"), std::string::npos);

    caps.m_pan = true;
    caps.m_unzoom = false;
    caps.m_panSpeed = {1, 100};
    caps.m_tiltSpeed = {2, 90};
    caps.m_zoomSpeed = {0, 7};
    caps.m_preset = 20;
    EXPECT_EQ(caps.ToString(), "Pan=1; Tilt=1; Zoom=1; Focus=0; Iris=0; PanSpeed=1-100;TiltSpeed=2-90;"
                               "ZoomSpeed=0-7;IrisRange=0-0;Center=1; Unzoom=0; AreaZoom=1; Preset=20");
}

TEST(PtzCapabilities, ReadsWhatItWrites)
{
    CPtzCapabilities caps;
    caps.m_pan = caps.m_zoom = caps.m_focus = caps.m_iris = caps.m_unzoom = true;
    caps.m_panSpeed = {5, 150};
    caps.m_irisRange = {10, 200};
    caps.m_preset = 64;
    CPtzCapabilities read;
    read.FromString(caps.ToString());
    EXPECT_EQ(read.ToString(), caps.ToString());
    EXPECT_EQ(std::tie(read.m_unzoom, read.m_irisRange.maximum), std::make_tuple(true, 200u));
}

TEST(PtzCapabilities, FlagsMustBeExactlyOneKeysAreCaseSensitiveAndTheFirstOneCounts)
{
    CPtzCapabilities caps;
    caps.m_zoom = true;
    caps.FromString("Pan=1;Tilt=true\tFocus=01\r\nIris=1");
    // Pan, tilt, focus, iris and zoom; a missing one counts as false.
    EXPECT_EQ(std::tie(caps.m_pan, caps.m_tilt, caps.m_focus, caps.m_iris, caps.m_zoom),
              std::make_tuple(true, false, false, true, false));
    caps.FromString("pan=1; Zoom=1; Zoom=0; Preset=8; Preset=9");
    EXPECT_EQ(std::tie(caps.m_pan, caps.m_zoom, caps.m_preset), std::make_tuple(false, true, 8u));
}

TEST(PtzCapabilities, MalformedRangesKeepTheirValues)
{
    CPtzCapabilities caps;
    caps.m_panSpeed = {1, 100};
    caps.m_tiltSpeed = {1, 100};
    caps.m_zoomSpeed = {1, 100};
    caps.FromString("PanSpeed=50; TiltSpeed=1-2-3; ZoomSpeed=x-9; IrisRange=3-4");
    EXPECT_EQ(std::tie(caps.m_panSpeed.minimum, caps.m_panSpeed.maximum, caps.m_tiltSpeed.maximum,
                       caps.m_zoomSpeed.maximum, caps.m_irisRange.minimum, caps.m_irisRange.maximum),
              std::make_tuple(1u, 100u, 100u, 100u, 3u, 4u));
}

TEST(PtzCapabilities, PresetIsZeroWhenMissingOrEmpty)
{
    CPtzCapabilities caps;
    for (const char* text : {"Preset=", ""}) {
        caps.m_preset = 5;
        caps.FromString(text);
        EXPECT_EQ(caps.m_preset, 0u) << text;
    }
}

TEST(AudioCapabilities, ReadsCountAndStereoAndIncompleteTextChangesNothing)
{
    CAudioCapabilities caps;
    EXPECT_TRUE(caps.FromString("Count=2; IsStereo=1"));
    EXPECT_EQ(std::tie(caps.m_channelCount, caps.m_stereo), std::make_tuple(2u, true));
    EXPECT_EQ(caps.ToString(), "Count=2; IsStereo=1");
    EXPECT_TRUE(caps.FromString("Count=3; IsStereo=2"));
    EXPECT_FALSE(caps.m_stereo);
    EXPECT_EQ(caps.ToString(), "Count=3; IsStereo=0");

    for (const char* text : {"", "Count=1", "(none)"})
        EXPECT_FALSE(caps.FromString(text)) << text;
    EXPECT_EQ(std::tie(caps.m_channelCount, caps.m_stereo), std::make_tuple(3u, false));
}

}  // namespace
}  // namespace korvane
