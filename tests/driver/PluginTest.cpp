// The plug-in as a host sees it: loaded at run time, used only through its exports.
#include <gtest/gtest.h>

#include <cstdlib>

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
        create = reinterpret_cast<Factory>(Symbol("CreateIPCapture"));
        destroy = reinterpret_cast<Deleter>(Symbol("DeleteIPCapture"));
        ASSERT_NE(create, nullptr);
        ASSERT_NE(destroy, nullptr);
        driver = create();
        ASSERT_NE(driver, nullptr);
    }
    void TearDown() override
    {
        if (driver != nullptr) {
            driver->Close();
            destroy(driver);  // through the plug-in's deleter, never here
        }
    }

    void* Symbol(const char* name) const { return m_plugin.Symbol(name); }
    bool Open() { return driver->Open(&logSink, &allocator, &params); }

    Factory create = nullptr;
    Deleter destroy = nullptr;
    IIPCaptureDriverEx5* driver = nullptr;
    RecordingLogSink logSink;
    CFrameHost allocator;
    SettableDriverParams params;

private:
    platform::DynamicLibrary m_plugin;
};

TEST_F(PluginTest, EveryFactoryAndDeleterNameIsOneFunctionAndTheDeleterIgnoresNull)
{
    for (const char* name :
         {"CreateIPCaptureEx", "CreateIPCaptureEx2", "CreateIPCaptureEx3", "CreateIPCaptureEx4", "CreateIPCaptureEx5"})
        EXPECT_EQ(Symbol(name), reinterpret_cast<void*>(create)) << name;
    for (const char* name : {"DeleteIPCaptureEx", "DeleteIPCaptureEx2", "DeleteIPCaptureEx3", "DeleteIPCaptureEx4",
                             "DeleteIPCaptureEx5", "DeleteCapabilityQueryModule"})
        EXPECT_EQ(Symbol(name), reinterpret_cast<void*>(destroy)) << name;
    EXPECT_EQ(Symbol("korvane::CTallowcamDriver"), nullptr);
    EXPECT_EXIT(
        {
            destroy(nullptr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(PluginTest, CreateOpenCloseReopenAndDelete)
{
    params.deviceAddress.port = 8080;
    params.parameters = {{1, "0"}, {2, "Ver. 2.0"}, {3, "2"}};
    ASSERT_TRUE(Open());
    ipcapture::IIPVideoCaptureEx2* capture = driver->GetVideoCaptureEx2();
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(capture->GetChannelCount(), 1u);
    EXPECT_EQ(driver->GetAudioCapture(), nullptr);

    // Without a host core library the host counts as 5.12: notable lines arrive as information.
    auto lines = logSink.LinesContaining("DRIVER IS OPENED");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text,
              "DRIVER IS OPENED (name: Tallowcam, device model: VB-H43, FW: Ver. 2.0, address: 127.0.0.1:8080)");
    EXPECT_EQ(lines[0].level, 3u);

    CFrameHost sink;
    SettableStreamRequest request;
    request.format.codec = 2;  // MPEG-4 has no channel
    EXPECT_FALSE(driver->GetVideoCapture()->StartChannel(0, &sink, &request));
    EXPECT_FALSE(driver->GetVideoCapture()->StopChannel(0));

    driver->Close();
    EXPECT_EQ(driver->GetVideoCaptureEx2(), nullptr);

    // Audio adapters come from the descriptions; an unparsable one fails the open.
    params.parameters = {{101, "stereo microphone"}};
    EXPECT_FALSE(Open());
    driver->Close();
    params.parameters = {{101, "Count=1; IsStereo=0"}, {102, "Count=1; IsStereo=0"}};
    ASSERT_TRUE(Open());
    ASSERT_NE(driver->GetAudioCapture(), nullptr);
    ASSERT_NE(driver->GetAudioSender(), nullptr);
    EXPECT_EQ(driver->GetAudioCapture()->GetChannelCount(), 0u);
    driver->Close();

    // With the host core library of version 6.3 loaded, notable lines keep their level.
    platform::DynamicLibrary hostCore;
    ASSERT_TRUE(hostCore.Load(TALLOWCAM_TEST_HOST_CORE)) << TALLOWCAM_TEST_HOST_CORE;
    ASSERT_TRUE(Open());
    lines = logSink.LinesContaining("DRIVER IS OPENED");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].level, 100u);
}

}  // namespace
}  // namespace korvane::test
