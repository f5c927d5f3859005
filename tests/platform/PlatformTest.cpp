// Process facts, dynamic libraries and the time zone.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <tuple>

#include "platform/DynamicLibrary.h"
#include "platform/Process.h"
#include "platform/Time.h"
#include "support/ScopedTimeZone.h"

using namespace korvane::platform;
using korvane::test::ScopedTimeZone;

TEST(Process, ModuleVersionComesFromTheResolvedFileNameOnceLoaded)
{
    ModuleVersion version;
    EXPECT_FALSE(LoadedModuleVersion(SharedLibraryFileName("Vexhost"), version));

    DynamicLibrary host;
    ASSERT_TRUE(host.Load(VEXHOST_STUB_PATH));
    EXPECT_NE(host.Symbol("vexhost_stub_marker"), nullptr);
    ASSERT_TRUE(LoadedModuleVersion(SharedLibraryFileName("Vexhost"), version));
    EXPECT_EQ(std::make_tuple(version.major, version.minor, version.third, version.fourth), std::make_tuple(6, 3, 0, 0));
    EXPECT_FALSE(LoadedModuleVersion("libnothere.so", version));

    host.Unload();
    EXPECT_FALSE(LoadedModuleVersion(SharedLibraryFileName("Vexhost"), version));
#ifdef _WIN32
    // Not loaded, Windows asks the library search, which also looks in the current directory.
    const std::filesystem::path started = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::path(VEXHOST_STUB_PATH).parent_path());
    version = {};
    EXPECT_TRUE(LoadedModuleVersion(SharedLibraryFileName("Vexhost"), version));
    EXPECT_EQ(version.minor, 3);
    std::filesystem::current_path(started);
#endif

    DynamicLibrary missing;
    EXPECT_FALSE(missing.Load("libdoes-not-exist.so"));
    EXPECT_EQ(missing.Symbol("anything"), nullptr);
}

TEST(Process, ExecutableDirectoryEndsWithSeparator)
{
    const std::string directory = ExecutableDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), kDirectorySeparator);
    EXPECT_TRUE(std::filesystem::exists(directory + TEST_PROGRAM_FILE_NAME));
    EXPECT_TRUE(ExecutableDirectory(3).empty());
}

TEST(Process, GuidsAreVersion4AndDistinct)
{
    std::set<std::array<uint8_t, 16>> seen;
    for (int i = 0; i < 100; ++i) {
        std::array<uint8_t, 16> guid{};
        ASSERT_TRUE(CreateGuid(guid));
#ifdef _WIN32
        EXPECT_EQ(guid[7] & 0xF0, 0x40);  // in Data3, a little-endian field
#else
        EXPECT_EQ(guid[6] & 0xF0, 0x40);
#endif
        seen.insert(guid);
    }
    EXPECT_EQ(seen.size(), 100u);
}

TEST(TimeZone, BiasAndDaylightRulesAreTheZonesCurrentOnes)
{
    if (ScopedTimeZone::kUnavailable)
        GTEST_SKIP() << ScopedTimeZone::kUnavailable;
    // Zone, bias, daylight rules in the current year whatever the zone's history. POSIX rules need no
    // zone files; the named zones come from tzdata.
    const std::tuple<const char*, int32_t, bool> zones[] = {
        {"IST-5:30", -330, false},     {"EST5EDT,M3.2.0,M11.1.0", 300, true}, {"Europe/Berlin", -60, true},
        {"Australia/Sydney", -600, true}, {"Asia/Tokyo", -540, false},      {"America/Sao_Paulo", 180, false},
        {"Europe/Istanbul", -180, false}, {"UTC0", 0, false}};
    for (const auto& [name, bias, daylightRules] : zones) {
        ScopedTimeZone zone(name);
        const TimeZoneInfo info = CurrentTimeZone();
        EXPECT_EQ(std::make_tuple(info.biasMinutes, info.hasDaylightRules, info.daylightBiasMinutes),
                  std::make_tuple(bias, daylightRules, daylightRules ? -60 : 0))
            << name;
        EXPECT_TRUE(daylightRules || !info.daylightNow) << name;
    }
}

TEST(TimeZone, LocalTimeFollowsTheZone)
{
    if (ScopedTimeZone::kUnavailable)
        GTEST_SKIP() << ScopedTimeZone::kUnavailable;
    ScopedTimeZone zone("UTC0");
    const uint64_t utcStamp = SystemTimeToFileTime(UtcTimeNow());
    ASSERT_NE(utcStamp, 0u);
    EXPECT_LT(SystemTimeToFileTime(LocalTimeNow()) - utcStamp, 10000000u);  // within one second

    ScopedTimeZone india("IST-5:30");
    const uint64_t indiaStamp = SystemTimeToFileTime(LocalTimeNow());
    const uint64_t offset = indiaStamp - SystemTimeToFileTime(UtcTimeNow());
    EXPECT_NEAR(static_cast<double>(offset) / 10000000.0, 5.5 * 3600, 2.0);
}
