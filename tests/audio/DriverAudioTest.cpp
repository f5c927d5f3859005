// The driver hands out the real audio channels: host audio given to its
// audio sender reaches the simulated camera.
#include <gtest/gtest.h>

#include "AudioFormats.h"
#include "support/FrameHost.h"
#include "audio/AudioFormat.h"
#include "camsim/Camera.h"
#include "driver/plugin/TallowcamDriver.h"
#include "support/DriverHost.h"

using namespace korvane;
using namespace korvane::test;

TEST(DriverAudio, TheAudioSenderPostsHostAudioToTheCamera)
{
    camsim::Camera camera;
    ASSERT_TRUE(camera.Start());
    SettableDriverParams params;
    params.deviceAddress.port = camera.HttpPort();
    params.deviceAddress.userName = "";
    params.parameters = {{1, "0"}, {2, "(none)"}, {102, "Count=1; IsStereo=0"}};
    CFrameHost host;
    RecordingLogSink logSink;
    CTallowcamDriver driver;
    ASSERT_TRUE(driver.Open(&logSink, &host, &params));
    ipcapture::IIPAudioSender* sender = driver.GetAudioSender();
    ASSERT_NE(sender, nullptr);

    CFormatList formats;
    formats.Add(kFourCCMuLaw, true);
    ASSERT_TRUE(sender->OpenChannel(1, 0, &host, &formats));
    ASSERT_TRUE(camera.HttpRequests().WaitForCount(1, 10000));
    ASSERT_TRUE(sender->SendAudio(host.MakeAudioPacket(std::vector<uint8_t>(120, 0x55))));
    ASSERT_TRUE(camera.Audio().WaitForUploads(1, 10000));
    EXPECT_TRUE(sender->CloseChannel(1));
    driver.Close();

    EXPECT_EQ(camera.Audio().Uploads()[0].audio, std::vector<uint8_t>(120, 0x55));
    EXPECT_EQ(camera.Audio().Uploads()[0].error, "");
    EXPECT_EQ(host.OutstandingAudioFrames(), 0u);
}
