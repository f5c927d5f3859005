#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "camsim/Camera.h"
#include "clocksync/TimeProvider.h"
#include "driver/plugin/TallowcamDriver.h"
#include "support/DriverHost.h"

using namespace korvane;

namespace {

size_t ClockWrites(camsim::Camera& camera)
{
    size_t writes = 0;
    for (const std::string& target : camera.HttpRequests().Targets())
        writes += target.rfind("/admin/-set-?em=2&pt=8&bc00=", 0) == 0 ? 1 : 0;
    return writes;
}

}  // namespace

TEST(DriverRegistration, AnOpenDriverKeepsItsCameraInStepUntilItCloses)
{
    camsim::Camera camera;
    ASSERT_TRUE(camera.Start());
    test::RecordingLogSink logSink;
    test::RecordingFrameAllocator allocator;
    test::SettableDriverParams params;
    params.deviceAddress.port = camera.HttpPort();
    CTallowcamDriver driver;

    ASSERT_TRUE(driver.Open(&logSink, &allocator, &params));
    EXPECT_EQ(CTimeProvider::DeviceCount(), 1u);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ClockWrites(camera) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(ClockWrites(camera), 1u);

    driver.Close();
    EXPECT_EQ(CTimeProvider::DeviceCount(), 0u);
    driver.Close();
    EXPECT_EQ(CTimeProvider::DeviceCount(), 0u);
}
