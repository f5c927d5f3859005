#include <gtest/gtest.h>

#include <set>

#include "platform/DynamicLibrary.h"
#include "platform/Process.h"

using namespace korvane::platform;

TEST(Process, ModuleVersionComesFromTheResolvedFileNameOnceLoaded)
{
    ModuleVersion version;
    EXPECT_FALSE(LoadedModuleVersion("libvexhost.so", version));

    DynamicLibrary host;
    ASSERT_TRUE(host.Load(VEXHOST_STUB_PATH));
    EXPECT_NE(host.Symbol("vexhost_stub_marker"), nullptr);
    ASSERT_TRUE(LoadedModuleVersion("libvexhost.so", version));
    EXPECT_EQ(version.major, 6);
    EXPECT_EQ(version.minor, 3);
    EXPECT_EQ(version.third, 0);
    EXPECT_EQ(version.fourth, 0);
    EXPECT_FALSE(LoadedModuleVersion("libnothere.so", version));

    host.Unload();
    EXPECT_FALSE(LoadedModuleVersion("libvexhost.so", version));

    DynamicLibrary missing;
    EXPECT_FALSE(missing.Load("libdoes-not-exist.so"));
    EXPECT_EQ(missing.Symbol("anything"), nullptr);
}

TEST(Process, ExecutableDirectoryEndsWithSeparator)
{
    const std::string directory = ExecutableDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), '/');
    EXPECT_NE(std::string(VEXHOST_STUB_PATH).find(directory.substr(0, directory.size() - 1)), std::string::npos);
    EXPECT_TRUE(ExecutableDirectory(3).empty());
}

TEST(Process, GuidsAreVersion4AndDistinct)
{
    std::set<std::array<uint8_t, 16>> seen;
    for (int i = 0; i < 100; ++i) {
        std::array<uint8_t, 16> guid{};
        ASSERT_TRUE(CreateGuid(guid));
        EXPECT_EQ(guid[6] & 0xF0, 0x40);
        seen.insert(guid);
    }
    EXPECT_EQ(seen.size(), 100u);
}
