// The simulated camera's reply formats and request routing, and its H.264 frames
// padded to a chosen size with filler data.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "camsim/Camera.h"
#include "camsim/media/MediaSource.h"
#include "runtime/HttpSender.h"
#include "runtime/RequestHelpers.h"
#include "streaming/H264RTPMediaParser.h"
#include "streaming/ParserTestSupport.h"

namespace korvane::test {
namespace {

TEST(CameraModel, InfoReplySelectsAnItemAndItsSubKeys)
{
    camsim::CameraModel model;
    model.SetInfo("c.1.panorama", "1");
    EXPECT_EQ(model.InfoReply("c.1.pan"), "c.1.pan:=0\r\nc.1.pan.speed.min:=1\r\nc.1.pan.speed.max:=150\r\n");
    EXPECT_NE(model.InfoReply("").find("s.hardware:=Canon VB-H45\r\n"), std::string::npos);
    EXPECT_EQ(model.InfoReply("nothing"), "");
}

TEST(CameraModel, SettingsRepliesValuesTypesAndErrors)
{
    camsim::CameraConfig config;
    config.lowFrameRate = true;
    camsim::CameraModel model(config);
    EXPECT_EQ(model.SettingsReply("el=dh10&el=zz99&tl=dh04&tl=dh01"),
              "Valdh10=1\r\nSettingError=zz99\r\nTypdh04-0=int%281%2C7%29\r\nTypdh01-0=int%281%2C5%29\r\n");
    EXPECT_EQ(model.SettingsReply("el=ra02"), "Valra02=00%3A1e%3A8f%3A12%3A34%3A56\r\n");

    EXPECT_EQ(model.SettingsReply("em=2&pt=8&dh03-0=9&dh04-0=1"), "Valdh03-0=9\r\nValdh04-0=1\r\n");
    EXPECT_EQ(model.Setting("dh03-0"), "9");
    EXPECT_NE(model.SettingsReply("em=2&pt=8&zz99=1").find("SettingError"), std::string::npos);
    EXPECT_EQ(model.Setting("zz99"), "");
    EXPECT_EQ(model.SettingsReply("em=2&pt=8"), "OK\r\n");

    config.secondStream = false;  // the second stream's setting is optional
    EXPECT_EQ(camsim::CameraModel(config).SettingsReply("el=dh10"), "SettingError=dh10\r\n");
}

TEST(CameraSimulator, RoutesRequestsToTheModelAndRecordsThem)
{
    camsim::Camera camera;
    ASSERT_TRUE(camera.Start());
    Web::CHttpSender sender(camera.DeviceInfo());
    std::string text;
    ASSERT_TRUE(HUtils::RequestGetText(sender, "/admin/-set-?em=2&pt=8&hb10=1", text));
    EXPECT_EQ(camera.Model().Setting("hb10"), "1");
    ASSERT_TRUE(HUtils::RequestGetText(sender, "/-wvhttp-01-/control.cgi?o.1=1", text));
    EXPECT_EQ(camera.Model().Info("o.1"), "1");
    ASSERT_TRUE(HUtils::RequestGetText(sender, "/-wvhttp-01-/info.cgi?item=o.1", text));
    EXPECT_EQ(text, "o.1:=1\r\n");
    std::vector<uint8_t> body;
    EXPECT_EQ(HUtils::RequestGetRD(sender, "/unknown", body).m_code, 9u);

    EXPECT_EQ(camera.HttpRequests().Targets(),
              (std::vector<std::string>{"/admin/-set-?em=2&pt=8&hb10=1", "/-wvhttp-01-/control.cgi?o.1=1",
                                        "/-wvhttp-01-/info.cgi?item=o.1", "/unknown"}));

    // Each audio upload is answered with a new session number.
    for (uint8_t session = 1; session <= 2; ++session) {
        Web::CHttpRequest request("/-wvaudio-01-/recv?t=win-a-100&l=100", "POST");
        request.m_body = {'0', '\r', '\n', '\r', '\n'};
        ASSERT_TRUE(sender.Send(request));
        std::vector<uint8_t> reply;
        ASSERT_EQ(sender.ReadBody(reply), 16u);
        EXPECT_EQ(std::string(reply.begin(), reply.begin() + 5), std::string("6\r\n\x02\x00", 5));
        EXPECT_EQ(reply[8], session);
    }
}

TEST(CameraSimulator, StopsWhileARequestIsHeld)
{
    camsim::Camera camera;
    ASSERT_TRUE(camera.Start());
    camera.Http().SetFault(camsim::HttpFault::NeverReply);
    DEVICE_INFO device = camera.DeviceInfo();
    device.requestTimeoutMs = 10000;
    Web::CHttpSender sender(device);
    std::thread client([&] { sender.Send(Web::CHttpRequest("/-wvhttp-01-/info.cgi", "GET")); });
    ASSERT_TRUE(camera.HttpRequests().WaitForCount(1, 5000));
    camera.Stop();  // releases the held request; the client sees the connection end
    client.join();
    EXPECT_NE(sender.GetStatusCode(), 200u);
}

// The frames the H.264 parser assembles from `frames` access units of the sample.
std::vector<DeliveredFrame> ParsedFrames(size_t minimumBytes, size_t frames)
{
    camsim::MediaSourceOptions options;
    options.h264MinimumFrameBytes = minimumBytes;
    auto source = camsim::OpenMediaSource(camsim::MediaCodec::H264, options);
    EXPECT_NE(source, nullptr);
    ParserRig<CH264RTPMediaParser> rig;
    rig.feeder->FeedFrames(*source, frames);
    return rig.host.Frames();
}

TEST(H264Padding, FramesReachTheSizeWithAFillerNalAtTheEnd)
{
    const size_t frames = 30;
    const std::vector<DeliveredFrame> plain = ParsedFrames(0, frames);
    const std::vector<DeliveredFrame> padded = ParsedFrames(20000, frames);
    ASSERT_EQ(std::make_pair(plain.size(), padded.size()), std::make_pair(frames, frames));
    for (size_t i = 0; i < frames; ++i) {
        ASSERT_LT(plain[i].bytes.size(), 20000u);
        // The access unit as sent is 20000 bytes; the parser adds its 5-byte trailer
        // (and drops the SEI of the first frame).
        if (i > 0) {
            EXPECT_EQ(padded[i].bytes.size(), 20000u + 5) << "frame " << i;
        }
        // The picture comes first and unchanged; the filler NAL unit (type 12) follows.
        const std::vector<uint8_t>& bytes = padded[i].bytes;
        const size_t pictureLength = plain[i].bytes.size() - 5;
        EXPECT_TRUE(std::equal(plain[i].bytes.begin(), plain[i].bytes.begin() + pictureLength, bytes.begin()));
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + pictureLength, bytes.begin() + pictureLength + 4),
                  (std::vector<uint8_t>{0, 0, 1, 12}));
        EXPECT_EQ(bytes[bytes.size() - 6], 0x80);  // trailing bits before the parser's trailer
        EXPECT_EQ(padded[i].fourCC, plain[i].fourCC);
    }
}

}  // namespace
}  // namespace korvane::test
