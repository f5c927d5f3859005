// The capability query through the plug-in's exported plain functions.
#include <gtest/gtest.h>

#include "CapabilityQueryFixture.h"
#include "platform/DynamicLibrary.h"
#include "tallowcam/CapabilityQueryExports.h"

using namespace korvane;
using namespace korvane::test;

namespace {

struct PluginExports {
    decltype(&CreateCapabilityQueryModule) create = nullptr;
    decltype(&DeleteCapabilityQueryModule) destroy = nullptr;
    decltype(&InitCapabilityQuery) init = nullptr;
    decltype(&StartCapabilityQuery) start = nullptr;
    decltype(&TerminateCapabilityQuery) terminate = nullptr;
    decltype(&UninitCapabilityQuery) uninit = nullptr;
};

class PluginQueryTest : public CapabilityQueryTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_plugin.Load(TALLOWCAM_PLUGIN_PATH));
        Resolve(m_exports.create, "CreateCapabilityQueryModule");
        Resolve(m_exports.destroy, "DeleteCapabilityQueryModule");
        Resolve(m_exports.init, "InitCapabilityQuery");
        Resolve(m_exports.start, "StartCapabilityQuery");
        Resolve(m_exports.terminate, "TerminateCapabilityQuery");
        Resolve(m_exports.uninit, "UninitCapabilityQuery");
    }
    void TearDown() override
    {
        if (m_exports.uninit)
            m_exports.uninit();
    }

    template <typename Function>
    void Resolve(Function& function, const char* name)
    {
        function = reinterpret_cast<Function>(m_plugin.Symbol(name));
        ASSERT_NE(function, nullptr) << name;
    }

    platform::DynamicLibrary m_plugin;
    PluginExports m_exports;
};


}  // namespace

TEST_F(PluginQueryTest, ModuleObjectFromTheFactory)
{
    StartCamera(FixedCamera());
    CapabilityHost host;
    ipcapture::IIPCapabilityQuery* module = m_exports.create(&host, 1);
    ASSERT_NE(module, nullptr);
    Query(*module, host);
    ExpectRecording(host, "type1");
    m_exports.destroy(module);
    m_exports.destroy(nullptr);
}

TEST_F(PluginQueryTest, GlobalModule)
{
    StartCamera(FixedCamera());
    CapabilityHost host;
    EXPECT_EQ(m_exports.start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &host), 0);  // no module yet
    EXPECT_EQ(m_exports.terminate(), 1);
    EXPECT_EQ(m_exports.init(&host, 1), 1);
    CapabilityHost other;
    EXPECT_EQ(m_exports.init(&other, 0), 0);  // keeps the first module

    EXPECT_EQ(m_exports.start(nullptr, Port(), kCameraUser, kCameraPassword, &host), 0);
    EXPECT_EQ(m_exports.start("127.0.0.1", Port(), nullptr, kCameraPassword, &host), 0);
    EXPECT_EQ(m_exports.start("127.0.0.1", Port(), kCameraUser, nullptr, &host), 0);
    ASSERT_EQ(m_exports.start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &host), 1);
    ASSERT_TRUE(host.WaitForOutcome(kOutcomeTimeoutMs));
    ExpectRecording(host, "type1");  // reported to the first callback, video standard 1
    EXPECT_FALSE(other.IsFinished());
    EXPECT_EQ(m_exports.terminate(), 1);
    EXPECT_EQ(m_exports.uninit(), 1);
    EXPECT_EQ(m_exports.start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &host), 0);
    EXPECT_EQ(m_exports.uninit(), 1);
}

TEST_F(PluginQueryTest, GlobalModuleRunsOneQueryAtATimeAndTerminates)
{
    StartCamera(FixedCamera());
    Camera().Http().SetFault(camsim::HttpFault::NeverReply);
    CapabilityHost host;
    ASSERT_EQ(m_exports.init(&host, 0), 1);
    ASSERT_EQ(m_exports.start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &host), 1);
    ASSERT_TRUE(Camera().HttpRequests().WaitForCount(1, kOutcomeTimeoutMs));
    EXPECT_EQ(m_exports.start("127.0.0.1", Port(), kCameraUser, kCameraPassword, &host), 0);
    EXPECT_EQ(m_exports.terminate(), 1);
    ASSERT_TRUE(host.IsFinished());
    EXPECT_EQ(host.FailureMessage(), "Failed to get camera properties: Capability search query was aborted");
    EXPECT_EQ(m_exports.uninit(), 1);
}
