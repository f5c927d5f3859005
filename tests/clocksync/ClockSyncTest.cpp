// The clock request, and the clock synchronisation that keeps every registered
// camera in step with the recorder's time and time zone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "camsim/Camera.h"
#include "clocksync/ClockRequest.h"
#include "clocksync/TimeProvider.h"
#include "driver/plugin/TallowcamDriver.h"
#include "platform/Time.h"
#include "support/DriverHost.h"
#include "support/FakeDriver.h"
#include "support/FrameHost.h"
#include "support/ScopedTimeZone.h"
#include "support/WaitUntil.h"

using namespace korvane;
using korvane::test::ScopedTimeZone;
using korvane::test::WaitUntil;
using ::testing::ElementsAre;
using ::testing::StartsWith;

namespace {

const char kSetPrefix[] = "/admin/-set-?em=2&pt=8&";
const char kDaylightQuestion[] = "/admin/-set-?el=bc30";
constexpr uint32_t kWaitMs = 10000;  // of the polling waits

class SimulatedCamera {
public:
    SimulatedCamera()
    {
        EXPECT_TRUE(camera.Start());
        driver.SetCamera("127.0.0.1", camera.HttpPort());
        driver.deviceInfo.requestTimeoutMs = 3000;
    }

    std::vector<std::string> Targets(const std::string& prefix)
    {
        std::vector<std::string> matching;
        for (const std::string& target : camera.HttpRequests().Targets())
            if (target.rfind(prefix, 0) == 0)
                matching.push_back(target);
        return matching;
    }
    size_t Writes() { return Targets(kSetPrefix).size(); }
    bool WaitForWrites(size_t count) { return WaitUntil([this, count] { return Writes() >= count; }, kWaitMs); }

    camsim::Camera camera;
    test::FakeDriver driver;
};

// The local time written as bc20 lies within a few seconds of now.
void ExpectCurrentLocalTime(const std::string& request)
{
    const size_t at = request.find("bc20=");
    ASSERT_NE(at, std::string::npos);
    const std::string stamp = request.substr(at + 5);
    ASSERT_EQ(stamp.size(), 15u);
    SYSTEMTIME written{};
    ASSERT_EQ(std::sscanf(stamp.c_str(), "%4hu%2hu%2hu:%2hu%2hu%2hu", &written.wYear, &written.wMonth, &written.wDay,
                          &written.wHour, &written.wMinute, &written.wSecond), 6) << stamp;
    const auto seconds = [](const SYSTEMTIME& time) { return platform::SystemTimeToFileTime(time) / 1e7; };
    EXPECT_NEAR(seconds(written), seconds(platform::LocalTimeNow()), 10.0);
}

// One driver's registration with the clock synchronisation, dropped by reset() or at the end of the scope.
using Registration = std::unique_ptr<IDriver, void (*)(IDriver*)>;
Registration Register(IDriver& driver)
{
    CTimeProvider::RegisterDevice(&driver);
    return Registration(&driver, CTimeProvider::UnregisterDevice);
}

class ClockSyncTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(CTimeProvider::DeviceCount(), 0u); }
};

}  // namespace

TEST(ClockRequest, OffsetDaylightSwitchAndLocalTimeOfEachZoneAndTheCamerasKey)
{
    const SYSTEMTIME local{2026, 3, 0, 7, 9, 5, 2, 0};
    struct Case {
        const char* what;
        bool withDaylightKey;
        platform::TimeZoneInfo zone;
        const char* keys;  // between the request's start and the local time
    };
    const Case cases[] = {
        {"half-hour zone without daylight rules", true, {-330, 0, false, false}, "bc00=5.50&bc30=0&bc31=0&bc01=0"},
        {"western zone with daylight rules", true, {300, -60, true, false}, "bc00=-5.00&bc30=1&bc31=0&bc01=0"},
        {"camera without the daylight key", false, {-60, -60, true, false}, "bc00=1.00&bc01=0"},
        {"UTC is written without sign", false, {0, 0, false, false}, "bc00=0.00&bc01=0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildClockRequest(c.withDaylightKey, c.zone, local),
                  kSetPrefix + std::string(c.keys) + "&bc20=20260307:090502")
            << c.what;

    // The key of a camera: its address as a number and its port.
    test::FakeDriver driver;
    driver.SetCamera("127.0.0.1", 8080);
    EXPECT_EQ(CTimeProvider::DeviceKey(&driver), "0100007f:8080");
    driver.SetCamera("", 80);
    EXPECT_EQ(CTimeProvider::DeviceKey(&driver), "00000000:80");
}

// The plug-in's driver registers its camera from Open to Close; drivers of one camera share one item.
TEST_F(ClockSyncTest, DriversOfOneCameraShareOneItemUntilTheLastClosesAndUnregisteringAbortsARequest)
{
    if (ScopedTimeZone::kUnavailable)
        GTEST_SKIP() << ScopedTimeZone::kUnavailable;
    ScopedTimeZone zone("IST-5:30");  // set while the provider thread is idle
    SimulatedCamera camera;
    test::RecordingLogSink logSink;
    test::CFrameHost allocator;
    test::SettableDriverParams params;
    params.deviceAddress.port = camera.camera.HttpPort();
    CTallowcamDriver opened;

    Registration first = Register(camera.driver);
    ASSERT_TRUE(opened.Open(&logSink, &allocator, &params));
    EXPECT_EQ(CTimeProvider::DeviceCount(), 1u);
    ASSERT_TRUE(camera.WaitForWrites(1));
    const std::vector<std::string> targets = camera.camera.HttpRequests().Targets();
    ASSERT_THAT(targets, ElementsAre(kDaylightQuestion,
                                     StartsWith("/admin/-set-?em=2&pt=8&bc00=5.50&bc30=0&bc31=0&bc01=0&bc20=")));
    ExpectCurrentLocalTime(targets[1]);
    EXPECT_EQ(camera.camera.Model().Setting("bc00"), "5.50");

    first.reset();
    CTimeProvider::UnregisterDevice(&camera.driver);  // unregistering twice leaves the opened driver registered
    EXPECT_EQ(CTimeProvider::DeviceCount(), 1u);
    CTimeProvider::SynchroniseNow();
    ASSERT_TRUE(camera.WaitForWrites(2));
    EXPECT_EQ(camera.Targets(kDaylightQuestion).size(), 1u);  // asked once per item

    opened.Close();
    EXPECT_EQ(CTimeProvider::DeviceCount(), 0u);
    opened.Close();  // a second Close is harmless: the fixture checks the count again

    // Unregistering aborts a request in progress.
    SimulatedCamera silent;
    silent.driver.deviceInfo.requestTimeoutMs = 60000;
    silent.camera.Http().SetFault(camsim::HttpFault::NeverReply);
    Registration registration = Register(silent.driver);
    ASSERT_TRUE(WaitUntil([&silent] { return silent.camera.HttpRequests().Count() >= 1; }, kWaitMs));

    const auto start = std::chrono::steady_clock::now();
    registration.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

// The second registration wakes the thread for due cameras only; a forced cycle rewrites every camera.
TEST_F(ClockSyncTest, DaylightRulesCamerasWithoutTheDaylightKeyAndForcedCycles)
{
    if (ScopedTimeZone::kUnavailable)
        GTEST_SKIP() << ScopedTimeZone::kUnavailable;
    ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
    SimulatedCamera withKey;
    SimulatedCamera withoutKey;
    withoutKey.camera.Model().RemoveSetting("bc30");

    const Registration keyedRegistration = Register(withKey.driver);
    ASSERT_TRUE(withKey.WaitForWrites(1));
    const Registration plainRegistration = Register(withoutKey.driver);
    ASSERT_TRUE(withoutKey.WaitForWrites(1));
    const std::string plain = withoutKey.Targets(kSetPrefix).at(0);
    EXPECT_EQ(plain.rfind("/admin/-set-?em=2&pt=8&bc00=-5.00&bc01=0&bc20=", 0), 0u);
    ExpectCurrentLocalTime(plain);
    EXPECT_EQ(withKey.camera.Model().Setting("bc30"), "1");

    CTimeProvider::SynchroniseNow();
    ASSERT_TRUE(withKey.WaitForWrites(2));
    ASSERT_TRUE(withoutKey.WaitForWrites(2));
    // Two writes only: the wake-up of the second registration skipped the first camera.
    EXPECT_THAT(withKey.Targets(kSetPrefix),
                ElementsAre(StartsWith("/admin/-set-?em=2&pt=8&bc00=-5.00&bc30=1&bc31=0&bc01=0&bc20="),
                            StartsWith("/admin/-set-?em=2&pt=8&bc00=-5.00&bc30=1&")));
}
