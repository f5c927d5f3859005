// The plug-in as a host sees it: loaded at run time, used only through its exports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "platform/DynamicLibrary.h"
#include "support/DriverHost.h"
#include "support/FrameHost.h"
#include "tallowcam/HostInterfaces.h"

namespace korvane::test {
namespace {

using ipcapture::IIPCaptureDriverEx5;
using ipcapture::IPluginObject;
using Factory = IIPCaptureDriverEx5* (*)();
using Deleter = void (*)(IPluginObject*);

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_plugin.Load(TALLOWCAM_PLUGIN_PATH)) << TALLOWCAM_PLUGIN_PATH;
        create = reinterpret_cast<Factory>(m_plugin.Symbol("CreateIPCapture"));
        destroy = reinterpret_cast<Deleter>(m_plugin.Symbol("DeleteIPCapture"));
        ASSERT_NE(create, nullptr);
        ASSERT_NE(destroy, nullptr);
    }

    void* Symbol(const char* name) const { return m_plugin.Symbol(name); }

    // Opens a new driver with the fixture's host objects; the driver is deleted with the test.
    IIPCaptureDriverEx5* OpenDriver(bool& opened)
    {
        m_driver.reset(create());
        opened = m_driver != nullptr && m_driver->Open(&logSink, &allocator, &params);
        return m_driver.get();
    }

    void TearDown() override
    {
        if (m_driver != nullptr) {
            m_driver->Close();
            destroy(m_driver.release());
        }
    }

    Factory create = nullptr;
    Deleter destroy = nullptr;
    RecordingLogSink logSink;
    CFrameHost allocator;
    SettableDriverParams params;

private:
    platform::DynamicLibrary m_plugin;
    // Released through the plug-in's deleter in TearDown, never deleted here.
    struct NoDelete {
        void operator()(IIPCaptureDriverEx5*) const {}
    };
    std::unique_ptr<IIPCaptureDriverEx5, NoDelete> m_driver;
};

TEST_F(PluginTest, EveryFactoryAndDeleterNameIsOneFunction)
{
    for (const char* name :
         {"CreateIPCaptureEx", "CreateIPCaptureEx2", "CreateIPCaptureEx3", "CreateIPCaptureEx4", "CreateIPCaptureEx5"})
        EXPECT_EQ(Symbol(name), reinterpret_cast<void*>(create)) << name;
    for (const char* name : {"DeleteIPCaptureEx", "DeleteIPCaptureEx2", "DeleteIPCaptureEx3", "DeleteIPCaptureEx4",
                             "DeleteIPCaptureEx5", "DeleteCapabilityQueryModule"})
        EXPECT_EQ(Symbol(name), reinterpret_cast<void*>(destroy)) << name;
    EXPECT_EQ(Symbol("korvane::CTallowcamDriver"), nullptr);
}

TEST_F(PluginTest, DeleterIgnoresNull)
{
    EXPECT_EXIT(
        {
            destroy(nullptr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(PluginTest, CreateOpenCloseDelete)
{
    params.deviceAddress.port = 8080;
    params.parameters = {{1, "0"}, {2, "Ver. 2.0"}, {3, "2"}};
    bool opened = false;
    IIPCaptureDriverEx5* driver = OpenDriver(opened);
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(opened);

    ipcapture::IIPVideoCaptureEx2* capture = driver->GetVideoCaptureEx2();
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(capture->GetChannelCount(), 1u);
    EXPECT_EQ(driver->GetAudioCapture(), nullptr);

    // Without a host core library the host counts as 5.12: notable lines arrive as information.
    const auto lines = logSink.LinesContaining("DRIVER IS OPENED");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text,
              "DRIVER IS OPENED (name: Tallowcam, device model: VB-H43, FW: Ver. 2.0, address: 127.0.0.1:8080)");
    EXPECT_EQ(lines[0].level, 3u);

    driver->Close();
    EXPECT_EQ(driver->GetVideoCaptureEx2(), nullptr);
}

TEST_F(PluginTest, StartingAStreamWithoutAChannelFails)
{
    bool opened = false;
    IIPCaptureDriverEx5* driver = OpenDriver(opened);
    ASSERT_TRUE(opened);
    CFrameHost sink;
    SettableStreamRequest request;
    request.format.codec = 2;  // MPEG-4 has no channel
    EXPECT_FALSE(driver->GetVideoCapture()->StartChannel(0, &sink, &request));
    EXPECT_FALSE(driver->GetVideoCapture()->StopChannel(0));
}

TEST_F(PluginTest, OpenFailsWhenAudioInputIsUnparsable)
{
    params.parameters = {{101, "stereo microphone"}};
    bool opened = true;
    ASSERT_NE(OpenDriver(opened), nullptr);
    EXPECT_FALSE(opened);
}

TEST_F(PluginTest, AudioAdaptersAreCreatedFromTheDescriptions)
{
    params.parameters = {{101, "Count=1; IsStereo=0"}, {102, "Count=1; IsStereo=0"}};
    bool opened = false;
    IIPCaptureDriverEx5* driver = OpenDriver(opened);
    ASSERT_TRUE(opened);
    ASSERT_NE(driver->GetAudioCapture(), nullptr);
    ASSERT_NE(driver->GetAudioSender(), nullptr);
    EXPECT_EQ(driver->GetAudioCapture()->GetChannelCount(), 0u);
}

TEST_F(PluginTest, HostCoreLibraryVersionDecidesTheLevels)
{
    platform::DynamicLibrary hostCore;
    ASSERT_TRUE(hostCore.Load(TALLOWCAM_TEST_HOST_CORE)) << TALLOWCAM_TEST_HOST_CORE;
    bool opened = false;
    OpenDriver(opened);
    ASSERT_TRUE(opened);
    const auto lines = logSink.LinesContaining("DRIVER IS OPENED");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, 100u);
}

}  // namespace
}  // namespace korvane::test
