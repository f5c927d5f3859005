// Log lines, results and the one-line capability records.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <tuple>

#include "audio/AudioCapabilities.h"
#include "driver/DebugInfo.h"
#include "driver/LoggerInstance.h"
#include "driver/ResultDef.h"
#include "ptz/PtzCapabilities.h"
#include "support/FakeDriver.h"
#include "support/LogEntries.h"

using namespace korvane;

// operator new of this program fails on a thread while g_noMemory is set there.
// The replacements pair malloc with free on purpose; inlined, GCC takes the pair for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
thread_local bool g_noMemory = false;
}  // namespace

void* operator new(size_t size)
{
    void* memory = g_noMemory ? nullptr : std::malloc(size != 0 ? size : 1);
    if (memory == nullptr)
        throw std::bad_alloc();
    return memory;
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return g_noMemory ? nullptr : std::malloc(size != 0 ? size : 1);
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, size_t) noexcept
{
    std::free(memory);
}
#pragma GCC diagnostic pop

TEST(LoggerInstance, NoMemoryForALineNeverThrows)
{
    test::FakeDriver driver;
    CLoggerInstance logger(&driver);
    CResultDef result;
    const char* longText = "a text longer than a string keeps without the heap";
    bool threw = false;
    g_noMemory = true;
    try {
        logger.Log(1, "%s", longText);
        result.SetResultEx(1, kResultHttpStatus, "%s", longText);
    } catch (...) {
        threw = true;
    }
    g_noMemory = false;
    EXPECT_EQ(std::make_tuple(threw, driver.Lines().size(), result.m_code, result.m_text),
              std::make_tuple(false, 0u, kResultHttpStatus, ""));
    logger.Log(1, "%s", longText);
    EXPECT_EQ(driver.Lines().size(), 1u);
}

TEST(LoggerInstance, DropsRepeatsUntilResetAndPassesPercentSignsInArgumentsUnchanged)
{
    test::FakeDriver driver;
    CLoggerInstance logger(&driver);
    for (int i = 0; i < 10; ++i)
        logger.Log(1, "%s: camera %s offline", "op", "cam");
    EXPECT_EQ(driver.Lines().size(), 1u);
    logger.ResetLastMessage();
    logger.Log(1, "%s: camera %s offline", "op", "cam");
    logger.Log(3, "%s", "100% done %s %d");
    EXPECT_EQ(LogEntries(driver), (std::vector<std::string>{"1 op: camera cam offline", "1 op: camera cam offline",
                                                            "3 100% done %s %d"}));
}

TEST(LoggerInstance, ThinsOutBurstsKeepingOnlyEveryLargerStepInLongOnes)
{
    test::FakeDriver driver;
    CLoggerInstance logger(&driver);
    for (int i = 1; i <= 70000; ++i)
        logger.Log(2, "line %d", i);
    std::vector<int> sent;
    for (const auto& line : driver.Lines())
        sent.push_back(std::stoi(line.text.substr(5)));
    // 1..14, multiples of 16 below 255, of 256 below 4095, of 4096 below 65535;
    // at 65535 the counter falls back to 4095 and the 4096-step continues.
    ASSERT_EQ(sent.size(), 14u + 15u + 15u + 15u + 2u);
    EXPECT_EQ(std::vector<int>(sent.begin(), sent.begin() + 16),
              (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 32}));
    // 65536: the counter back at 4095, then 4096; 65536 + 4096: the counter at 8192.
    EXPECT_EQ((std::vector<int>{sent[29], sent[44], sent[58], sent[59], sent[60]}),
              (std::vector<int>{256, 4096, 61440, 65536, 65536 + 4096}));
    EXPECT_EQ(driver.Lines()[0].text, "line 1");
}

// A result formats its text or leaves it empty; a log record copies its line and has no text for an empty one.
TEST(Records, ResultFormatsOrLeavesTheTextEmptyAndDebugInfoCopiesTheLine)
{
    CResultDef result;
    EXPECT_EQ(std::make_tuple(result.IsSuccess(), result.m_severity), std::make_tuple(true, 3u));
    result.SetResultEx(1, kResultHttpStatus, "%s: status %d", "op", 500);
    EXPECT_EQ(result.m_text, "op: status 500");
    result.SetResultEx(2, kResultUnreadable, nullptr);
    EXPECT_EQ(std::tie(result.m_severity, result.m_code, result.m_text), std::make_tuple(2u, kResultUnreadable, ""));

    std::string line = "line";
    CDebugInfo info(kLogWarning, line);
    line[0] = 'X';
    EXPECT_EQ(info.GetLevel(), 2u);
    EXPECT_STREQ(info.GetText(), "line");
    EXPECT_EQ(CDebugInfo(kLogError, "").GetText(), nullptr);
}

// Centre, unzoom and area zoom are written only with the motions they need.
TEST(PtzCapabilities, WritesTheOneLineFormAndReadsWhatItWrites)
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

    caps.m_focus = caps.m_iris = caps.m_unzoom = true;
    caps.m_panSpeed = {5, 150};
    caps.m_irisRange = {10, 200};
    caps.m_preset = 64;
    CPtzCapabilities read;
    read.FromString(caps.ToString());
    EXPECT_EQ(read.ToString(), caps.ToString());
    EXPECT_EQ(std::tie(read.m_unzoom, read.m_irisRange.maximum), std::make_tuple(true, 200u));
}

// Flags must be exactly one, keys are case-sensitive and the first one counts.
TEST(PtzCapabilities, ReadsStrictFlagsTheFirstOfEachKeyWellFormedRangesAndPresets)
{
    CPtzCapabilities caps;
    caps.m_zoom = true;
    caps.FromString("Pan=1;Tilt=true\tFocus=01\r\nIris=1");
    // Pan, tilt, focus, iris and zoom; a missing one counts as false.
    EXPECT_EQ(std::tie(caps.m_pan, caps.m_tilt, caps.m_focus, caps.m_iris, caps.m_zoom),
              std::make_tuple(true, false, false, true, false));
    caps.FromString("pan=1; Zoom=1; Zoom=0; Preset=8; Preset=9");
    EXPECT_EQ(std::tie(caps.m_pan, caps.m_zoom, caps.m_preset), std::make_tuple(false, true, 8u));

    // Malformed ranges keep their values; a missing or empty preset is zero.
    caps.m_panSpeed = {1, 100};
    caps.m_tiltSpeed = {1, 100};
    caps.m_zoomSpeed = {1, 100};
    caps.FromString("PanSpeed=50; TiltSpeed=1-2-3; ZoomSpeed=x-9; IrisRange=3-4");
    EXPECT_EQ(std::tie(caps.m_panSpeed.minimum, caps.m_panSpeed.maximum, caps.m_tiltSpeed.maximum,
                       caps.m_zoomSpeed.maximum, caps.m_irisRange.minimum, caps.m_irisRange.maximum),
              std::make_tuple(1u, 100u, 100u, 100u, 3u, 4u));
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
    EXPECT_EQ(std::make_tuple(caps.m_stereo, caps.ToString()), std::make_tuple(false, "Count=3; IsStereo=0"));

    for (const char* text : {"", "Count=1", "(none)"})
        EXPECT_FALSE(caps.FromString(text)) << text;
    EXPECT_EQ(std::tie(caps.m_channelCount, caps.m_stereo), std::make_tuple(3u, false));
}
