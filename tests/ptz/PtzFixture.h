#pragma once
// A PTZ handler over a fake driver, pointed at a simulated camera on loopback.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "camsim/Camera.h"
#include "ptz/CanonPTZHandler.h"
#include "ptz/PtzCapabilities.h"
#include "support/FakeDriver.h"
#include "support/ScratchDirectory.h"
#include "support/WaitUntil.h"

namespace korvane::test {

// Pan speeds 0 to 15: host speed s arrives as s - 1.
constexpr char kFullCapabilities[] =
    "Pan=1; Tilt=1; Zoom=1; Focus=1; Iris=1; PanSpeed=0-15;TiltSpeed=1-150;ZoomSpeed=1-7;IrisRange=1-100;"
    "Center=1; Unzoom=1; AreaZoom=1; Preset=20";
constexpr uint32_t kWaitMs = 5000;
constexpr char kControl[] = "/-wvhttp-01-/control.cgi?";
constexpr char kIrisInfo[] = "/-wvhttp-01-/info.cgi?item=c.1.me.iris";

class PtzFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(camera.Start());
        driver.deviceInfo = camera.DeviceInfo();
        driver.SetCamera("127.0.0.1", camera.HttpPort());
        driver.hostDirectory = directory.Path();
        UseCapabilities(kFullCapabilities);
    }

    void TearDown() override { camera.Ptz().ReleaseControlRequests(); }

    void UseCapabilities(const std::string& text)
    {
        capabilities.FromString(text);
        driver.ptzCapabilities = &capabilities;
    }

    // Device section for the simulated camera in the configuration file.
    void Configure(const std::string& elements)
    {
        const std::string section = "<Device address=\"127.0.0.1\" port=\"" + std::to_string(camera.HttpPort()) + "\">";
        const std::string document = "<Configuration>" + section + elements + "</Device></Configuration>\n";
        directory.WriteFile("Tallowcam.xml", "<?xml version=\"1.0\"?>\n" + document);
    }

    // Opening the channel loads its presets over ONVIF before it returns; the
    // request log starts after that, with the commands.
    IIPPTZApiEx* Api()
    {
        if (handler != nullptr)
            return handler->GetPTZApiEx(0);
        handler = std::make_unique<CCanonPTZHandler>(&driver);
        IIPPTZApiEx* api = handler->GetPTZApiEx(0);
        camera.HttpRequests().Clear();
        return api;
    }

    // Every request the camera received since the last call up to a final
    // marker command, which is posted once at least `before` requests arrived,
    // and left out: what was queued before it has been executed.
    std::vector<std::string> ExecutedRequests(size_t before = 0)
    {
        EXPECT_TRUE(camera.HttpRequests().WaitForCount(before, kWaitMs));
        const size_t earlier = camera.HttpRequests().Count();
        EXPECT_EQ(Api()->StartMove(kPtzMoveLeft, 16), kPtzSuccess);
        const std::string marker = Control("pan=left&pan.speed.dir=15");
        std::vector<std::string> targets;
        EXPECT_TRUE(WaitUntil(
            [&] {
                targets = camera.HttpRequests().Targets();
                return targets.size() > earlier && targets.back() == marker;
            },
            kWaitMs))
            << "the marker command was not executed";
        camera.HttpRequests().Clear();
        if (!targets.empty() && targets.back() == marker)
            targets.pop_back();
        return targets;
    }

    static std::string Control(const std::string& query) { return kControl + query; }

    camsim::Camera camera;
    FakeDriver driver;
    ScratchDirectory directory;
    CPtzCapabilities capabilities;
    std::unique_ptr<CCanonPTZHandler> handler;
};

}  // namespace korvane::test
