#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "camsim/Camera.h"
#include "clocksync/TimeProvider.h"
#include "platform/Time.h"
#include "support/FakeDriver.h"

using namespace korvane;

namespace {

const char kSetPrefix[] = "/admin/-set-?em=2&pt=8&";
const char kDaylightQuestion[] = "/admin/-set-?el=bc30";

// Sets TZ (POSIX rules) while the provider thread is idle.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        m_hadOld = std::getenv("TZ") != nullptr;
        setenv("TZ", zone, 1);
    }
    ~ScopedTimeZone()
    {
        if (m_hadOld)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
    }

private:
    bool m_hadOld = false;
    std::string m_old;
};

bool WaitUntil(const std::function<bool()>& condition, uint32_t timeoutMs = 10000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

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
        for (const std::string& target : camera.HttpRequests().Targets()) {
            if (target.rfind(prefix, 0) == 0)
                matching.push_back(target);
        }
        return matching;
    }
    size_t Writes() { return Targets(kSetPrefix).size(); }
    bool WaitForWrites(size_t count)
    {
        return WaitUntil([this, count] { return Writes() >= count; });
    }

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
    ASSERT_EQ(stamp[8], ':');
    SYSTEMTIME written{};
    written.wYear = static_cast<uint16_t>(std::stoi(stamp.substr(0, 4)));
    written.wMonth = static_cast<uint16_t>(std::stoi(stamp.substr(4, 2)));
    written.wDay = static_cast<uint16_t>(std::stoi(stamp.substr(6, 2)));
    written.wHour = static_cast<uint16_t>(std::stoi(stamp.substr(9, 2)));
    written.wMinute = static_cast<uint16_t>(std::stoi(stamp.substr(11, 2)));
    written.wSecond = static_cast<uint16_t>(std::stoi(stamp.substr(13, 2)));
    const double writtenSeconds = static_cast<double>(platform::SystemTimeToFileTime(written)) / 1e7;
    const double nowSeconds = static_cast<double>(platform::SystemTimeToFileTime(platform::LocalTimeNow())) / 1e7;
    EXPECT_NEAR(writtenSeconds, nowSeconds, 10.0);
}

// One driver's registration with the clock synchronisation, dropped at the end of the scope.
class Registration {
public:
    explicit Registration(IDriver& driver) : m_driver(&driver) { CTimeProvider::RegisterDevice(m_driver); }
    ~Registration() { Release(); }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

    void Release()
    {
        if (m_driver != nullptr)
            CTimeProvider::UnregisterDevice(m_driver);
        m_driver = nullptr;
    }

private:
    IDriver* m_driver;
};

class ClockSyncTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(CTimeProvider::DeviceCount(), 0u); }
};

}  // namespace

TEST_F(ClockSyncTest, DriversOfOneCameraShareOneItem)
{
    ScopedTimeZone zone("IST-5:30");
    SimulatedCamera camera;
    test::FakeDriver second;
    second.SetCamera("127.0.0.1", camera.camera.HttpPort());

    Registration first(camera.driver);
    Registration other(second);
    EXPECT_EQ(CTimeProvider::DeviceCount(), 1u);
    ASSERT_TRUE(camera.WaitForWrites(1));
    const std::vector<std::string> targets = camera.camera.HttpRequests().Targets();
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0], kDaylightQuestion);
    EXPECT_EQ(targets[1].rfind("/admin/-set-?em=2&pt=8&bc00=5.50&bc30=0&bc31=0&bc01=0&bc20=", 0), 0u);
    ExpectCurrentLocalTime(targets[1]);
    EXPECT_EQ(camera.camera.Model().Setting("bc00"), "5.50");

    first.Release();
    CTimeProvider::UnregisterDevice(&camera.driver);  // closing twice leaves the other driver registered
    EXPECT_EQ(CTimeProvider::DeviceCount(), 1u);
    CTimeProvider::SynchroniseNow();
    ASSERT_TRUE(camera.WaitForWrites(2));
    EXPECT_EQ(camera.Targets(kDaylightQuestion).size(), 1u);  // asked once per item

    other.Release();
    EXPECT_EQ(CTimeProvider::DeviceCount(), 0u);
}

TEST_F(ClockSyncTest, DaylightRulesAndCamerasWithoutTheDaylightKey)
{
    ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
    SimulatedCamera withKey;
    SimulatedCamera withoutKey;
    withoutKey.camera.Model().RemoveSetting("bc30");

    Registration keyedRegistration(withKey.driver);
    Registration plainRegistration(withoutKey.driver);
    ASSERT_TRUE(withKey.WaitForWrites(1));
    ASSERT_TRUE(withoutKey.WaitForWrites(1));
    const std::string keyed = withKey.Targets(kSetPrefix).at(0);
    const std::string plain = withoutKey.Targets(kSetPrefix).at(0);
    EXPECT_EQ(keyed.rfind("/admin/-set-?em=2&pt=8&bc00=-5.00&bc30=1&bc31=0&bc01=0&bc20=", 0), 0u);
    EXPECT_EQ(plain.rfind("/admin/-set-?em=2&pt=8&bc00=-5.00&bc01=0&bc20=", 0), 0u);
    ExpectCurrentLocalTime(plain);
    EXPECT_EQ(withKey.camera.Model().Setting("bc30"), "1");
}

TEST_F(ClockSyncTest, OnlyForcedCyclesRewriteRecentlySynchronisedCameras)
{
    ScopedTimeZone zone("UTC0");
    SimulatedCamera first;
    SimulatedCamera second;

    Registration firstRegistration(first.driver);
    ASSERT_TRUE(first.WaitForWrites(1));
    Registration secondRegistration(second.driver);  // wakes the thread: due cameras only
    ASSERT_TRUE(second.WaitForWrites(1));

    CTimeProvider::SynchroniseNow();
    ASSERT_TRUE(first.WaitForWrites(2));
    ASSERT_TRUE(second.WaitForWrites(2));
    EXPECT_EQ(first.Writes(), 2u);  // the wake-up of the second registration skipped it
    EXPECT_EQ(first.Targets(kSetPrefix).at(1).rfind("/admin/-set-?em=2&pt=8&bc00=0.00&bc30=0&", 0), 0u);
}

TEST_F(ClockSyncTest, UnregisteringAbortsARequestInProgress)
{
    SimulatedCamera silent;
    silent.driver.deviceInfo.requestTimeoutMs = 60000;
    silent.camera.Http().SetFault(camsim::HttpFault::NeverReply);
    Registration registration(silent.driver);
    ASSERT_TRUE(WaitUntil([&silent] { return silent.camera.HttpRequests().Count() >= 1; }));

    const auto start = std::chrono::steady_clock::now();
    registration.Release();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(CTimeProvider::DeviceCount(), 0u);
}

TEST(ClockSyncKey, AddressAsNumberAndPort)
{
    test::FakeDriver driver;
    driver.SetCamera("127.0.0.1", 8080);
    EXPECT_EQ(CTimeProvider::DeviceKey(&driver), "0100007f:8080");
    driver.SetCamera("", 80);
    EXPECT_EQ(CTimeProvider::DeviceKey(&driver), "00000000:80");
}
