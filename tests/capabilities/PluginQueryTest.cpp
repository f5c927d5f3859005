// The capability query through the plug-in's exported plain functions.
#include <gtest/gtest.h>

#include "CapabilityQueryFixture.h"
#include "platform/DynamicLibrary.h"
#include "tallowcam/CapabilityQueryExports.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// The plug-in's function of this name.
template <typename Function>
Function Export(platform::DynamicLibrary& plugin, const char* name)
{
    const auto function = reinterpret_cast<Function>(plugin.Symbol(name));
    EXPECT_NE(function, nullptr) << name;
    return function;
}

using PluginQueryTest = CapabilityQueryTest;

TEST_F(PluginQueryTest, ModuleObjectsAndTheGlobalModule)
{
    platform::DynamicLibrary plugin;
    ASSERT_TRUE(plugin.Load(TALLOWCAM_PLUGIN_PATH));
    const auto create = Export<decltype(&CreateCapabilityQueryModule)>(plugin, "CreateCapabilityQueryModule");
    const auto destroy = Export<decltype(&DeleteCapabilityQueryModule)>(plugin, "DeleteCapabilityQueryModule");
    const auto init = Export<decltype(&InitCapabilityQuery)>(plugin, "InitCapabilityQuery");
    const auto start = Export<decltype(&StartCapabilityQuery)>(plugin, "StartCapabilityQuery");
    const auto terminate = Export<decltype(&TerminateCapabilityQuery)>(plugin, "TerminateCapabilityQuery");
    const auto uninit = Export<decltype(&UninitCapabilityQuery)>(plugin, "UninitCapabilityQuery");
    StartCamera(FixedCamera());

    // A module object from the factory.
    CapabilityHost host;
    ipcapture::IIPCapabilityQuery* module = create(&host, 1);
    ASSERT_NE(module, nullptr);
    Query(*module, host);
    ExpectRecording(host, "type1");
    destroy(module);
    destroy(nullptr);

    // The global module.
    CapabilityHost first;
    EXPECT_EQ(start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &first), 0);  // no module yet
    EXPECT_EQ(terminate(), 1);
    EXPECT_EQ(init(&first, 1), 1);
    CapabilityHost other;
    EXPECT_EQ(init(&other, 0), 0);  // keeps the first module
    EXPECT_EQ(start(nullptr, Port(), kCameraUser, kCameraPassword, &first), 0);
    EXPECT_EQ(start("127.0.0.1", Port(), nullptr, kCameraPassword, &first), 0);
    EXPECT_EQ(start("127.0.0.1", Port(), kCameraUser, nullptr, &first), 0);
    ASSERT_EQ(start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &first), 1);
    ASSERT_TRUE(first.WaitForOutcome(kOutcomeTimeoutMs));
    ExpectRecording(first, "type1");  // reported to the first callback, video standard 1
    EXPECT_FALSE(other.IsFinished());
    EXPECT_EQ(terminate(), 1);
    EXPECT_EQ(uninit(), 1);
    EXPECT_EQ(start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &first), 0);
    EXPECT_EQ(uninit(), 1);

    // It runs one query at a time and terminates.
    Camera().Http().SetFault(camsim::HttpFault::NeverReply);
    Camera().HttpRequests().Clear();
    CapabilityHost slow;
    ASSERT_EQ(init(&slow, 0), 1);
    ASSERT_EQ(start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &slow), 1);
    ASSERT_TRUE(Camera().HttpRequests().WaitForCount(1, kOutcomeTimeoutMs));
    EXPECT_EQ(start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &slow), 0);
    EXPECT_EQ(terminate(), 1);
    ASSERT_TRUE(slow.IsFinished());
    EXPECT_EQ(slow.FailureMessage(), "Failed to get camera properties: Capability search query was aborted");
    EXPECT_EQ(uninit(), 1);
}

}  // namespace
