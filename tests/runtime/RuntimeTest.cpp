// The runtime's building blocks: events, the recursive lock, the shared pointer, time stamps, threads,
// work queues, the encodings (Base64, MD5, SHA-1) and the configuration file; then the HTTP sender and
// the GET helpers end to end against the camera simulator.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "camsim/Camera.h"
#include "driver/DeviceInfo.h"
#include "platform/Network.h"
#include "platform/Process.h"
#include "platform/TcpSocket.h"
#include "platform/Thread.h"
#include "platform/Time.h"
#include "platform/XmlDocument.h"
#include "runtime/Base64.h"
#include "runtime/BaseThread.h"
#include "runtime/Configuration.h"
#include "runtime/Events.h"
#include "runtime/HttpSender.h"
#include "runtime/Md5.h"
#include "runtime/QueueThread.h"
#include "runtime/RecursiveLock.h"
#include "runtime/RequestHelpers.h"
#include "runtime/Sha1.h"
#include "runtime/SmartPtr.h"
#include "runtime/StopScope.h"
#include "runtime/Time.h"
#include "support/FakeDriver.h"
#include "support/LogEntries.h"
#include "support/ScratchDirectory.h"
#include "support/TestData.h"
#include "support/WaitUntil.h"

using namespace korvane;
using namespace ::testing;
using korvane::test::Clock;
using korvane::test::ElapsedMs;
using korvane::test::ScratchDirectory;
using korvane::test::WaitUntil;

namespace {

// Counts its destructions.
struct WorkItem {
    WorkItem(int value, std::atomic<int>& destroyed) : value(value), destroyed(destroyed) {}
    virtual ~WorkItem() { ++destroyed; }
    int value;
    std::atomic<int>& destroyed;
};

TEST(Events, AutoResetIsConsumedManualStaysSetWaitAnyTakesTheLowestSignalledOnlyAndNoWakeUpIsLost)
{
    CEvent event(false);
    EXPECT_FALSE(event.Wait(0));
    EXPECT_FALSE(event.Wait(20));  // times out without a signal
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));

    CManualEvent manual;
    manual.Set();
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(10));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(0));

    CEvent first(false);
    CEvent second(false);
    CEvent* events[] = {&first, &second};
    EXPECT_EQ(WaitAny(events, 2, 20), -1);  // times out without a signal
    first.Set();
    second.Set();
    EXPECT_EQ((std::vector<int>{WaitAny(events, 2, 0), WaitAny(events, 2, 0), WaitAny(events, 2, 0)}),
              (std::vector<int>{0, 1, -1}));

    // Empty and null lists are refused.
    first.Set();
    CEvent* withNull[] = {&first, nullptr};
    EXPECT_EQ((std::vector<int>{WaitAny(nullptr, 1, 0), WaitAny(events, 0, 0), WaitAny(withNull, 2, 0)}),
              std::vector<int>(3, -1));

    // Another thread's signal wakes the wait.
    CManualEvent stop;
    CEvent* waking[] = {&stop, &second};
    std::thread setter([&] { second.Set(); });
    EXPECT_EQ(WaitAny(waking, 2, 5000), 1);
    setter.join();
    EXPECT_FALSE(second.Wait(0));

    // Ping-pong between threads loses no wake-up.
    CEvent ping(false);
    CEvent pong(false);
    constexpr int kRounds = 2000;
    int answered = 0;
    std::thread responder([&] {
        for (int i = 0; i < kRounds; ++i)
            if (ping.Wait(5000)) {
                ++answered;
                pong.Set();
            }
    });
    int acknowledged = 0;
    for (int i = 0; i < kRounds; ++i) {
        ping.Set();
        if (pong.Wait(5000))
            ++acknowledged;
    }
    responder.join();
    EXPECT_EQ(std::make_pair(answered, acknowledged), std::make_pair(kRounds, kRounds));
}

// Another thread gets the lock only once the owner has unlocked as often as it locked.
TEST(RecursiveLock, OwnerMayLockAgainAndExcludesConcurrentWriters)
{
    CRecursiveLock lock;
    const auto otherGetsIt = [&] {
        bool gotIt = false;
        std::thread other([&] {
            gotIt = lock.TryLock();
            if (gotIt)
                lock.Unlock();
        });
        other.join();
        return gotIt;
    };
    lock.Lock();
    EXPECT_TRUE(lock.TryLock());
    lock.Lock();
    lock.Unlock();
    lock.Unlock();
    EXPECT_FALSE(otherGetsIt());
    lock.Unlock();
    EXPECT_TRUE(otherGetsIt());

    long counter = 0;
    constexpr int kThreads = 4;
    constexpr int kIncrements = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kIncrements; ++i) {
                CAutoLock guard(lock);
                CAutoLock nested(lock);
                ++counter;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(counter, static_cast<long>(kThreads) * kIncrements);
}

TEST(SmartPtr, CopiesShareTheObjectUntilTheLastGoes)
{
    std::atomic<int> destroyed{0};
    {
        TSmartPtr<WorkItem> first;
        first = new WorkItem(1, destroyed);
        {
            TSmartPtr<WorkItem> second = first;
            EXPECT_EQ(second.Get(), first.Get());
        }
        EXPECT_EQ(destroyed.load(), 0);
        first = new WorkItem(2, destroyed);
        EXPECT_EQ(destroyed.load(), 1);
        first = nullptr;
        EXPECT_EQ(destroyed.load(), 2);
        EXPECT_FALSE(first);
    }
    EXPECT_EQ(destroyed.load(), 2);
}

TEST(Time, ElapsedIsZeroForAFutureStampAndFileAndCalendarTimesConvertBothWays)
{
    CTime time;
    time.Set(NowFileTime() + 60ull * 10000000ull);
    EXPECT_EQ(time.ElapsedMs(), 0u);
    time.Set(NowFileTime() - 1500ull * platform::kFileTimeTicksPerMs);
    EXPECT_THAT(time.ElapsedMs(), AllOf(Ge(1500u), Lt(60000u)));
    time.Update();
    EXPECT_LT(time.ElapsedMs(), 1000u);

    SYSTEMTIME epoch{1970, 1, 4, 1, 0, 0, 0, 0};
    EXPECT_EQ(platform::SystemTimeToFileTime(epoch), 116444736000000000ull);
    SYSTEMTIME back{};
    ASSERT_TRUE(platform::FileTimeToSystemTime(116444736000000000ull + 12345678ull * 10000ull + 9ull, back));
    EXPECT_EQ(std::tie(back.wYear, back.wDay, back.wHour, back.wMinute, back.wSecond, back.wMilliseconds),
              std::make_tuple(1970, 1, 3, 25, 45, 678));
    EXPECT_EQ(back.wDayOfWeek, 4);  // a Thursday
    SYSTEMTIME invalid{2026, 13, 0, 1, 0, 0, 0, 0};
    EXPECT_EQ(platform::SystemTimeToFileTime(invalid), 0u);
}

// Runs until stopped; optionally ignores the stop request for a while.
class WorkerThread : public CBaseThread {
public:
    explicit WorkerThread(IDebugMessage* owner = nullptr, uint32_t lingerMs = 0)
        : CBaseThread(owner), m_lingerMs(lingerMs) {}
    ~WorkerThread() override { StopThread(5000); }

    std::atomic<int> runs{0};
    std::atomic<bool> selfStopResult{true};
    bool stopFromInside = false;

protected:
    bool Run() override
    {
        ++runs;
        if (stopFromInside)
            selfStopResult = JoinThread(1000);
        m_stopEvent.Wait(kInfiniteWait);
        platform::SleepMs(m_lingerMs);
        return true;
    }

private:
    uint32_t m_lingerMs;
};

class CountingTicker : public CTickThread {
public:
    ~CountingTicker() override { StopTicking(); }
    std::atomic<int> ticks{0};
    CEvent ticked{false};

protected:
    void OnTick() override
    {
        ++ticks;
        ticked.Set();
    }
};

class RecordingQueue : public CQueueThread<WorkItem> {
public:
    ~RecordingQueue() override { Stop(); }
    std::vector<int> handled;

protected:
    void HandleWorkItem(WorkItem& item) override
    {
        if (item.value < 0)
            throw std::runtime_error("bad item");
        handled.push_back(item.value);
    }
};

TEST(BaseThread, StartsStopsAndLogsOverdueJoinsAndStopsAndATickerTicksAtStartWhenAskedElseAfterAPeriod)
{
    WorkerThread worker;
    EXPECT_TRUE(worker.JoinThread(1000));  // no thread yet: at once
    EXPECT_TRUE(worker.StopThread(1000));
    ASSERT_TRUE(worker.Start("worker"));
    EXPECT_FALSE(worker.Start("worker"));
    EXPECT_NE(worker.GetThreadId(), 0u);
    EXPECT_TRUE(worker.StopThread(2000));
    EXPECT_FALSE(worker.IsRunning());
    worker.stopFromInside = true;
    ASSERT_TRUE(worker.Start("worker"));
    EXPECT_TRUE(WaitUntil([&] { return worker.runs.load() == 2; }, 5000));
    EXPECT_TRUE(WaitUntil([&] { return !worker.selfStopResult.load(); }, 5000));
    EXPECT_TRUE(worker.JoinThread(2000));

    // The join logs when it is overdue, the stop its termination line; both still wait for the thread.
    test::FakeDriver driver;
    WorkerThread slow(&driver, 300);
    ASSERT_TRUE(slow.Start("slow"));
    EXPECT_TRUE(slow.JoinThread(20));
    EXPECT_FALSE(slow.IsRunning());
    const std::string thread = "korvane::CBaseThread::JoinThread: Thread (id=" + std::to_string(slow.GetThreadId()) +
                               ", name=\"slow\")";
    EXPECT_EQ(LogEntries(driver), (std::vector<std::string>{
                                      "2 " + thread + " for device 127.0.0.1:80 was not stopped during 20 milliseconds",
                                      "3 " + thread + " was stopped correctly"}));

    driver.ClearLines();
    ASSERT_TRUE(slow.Start("slow"));
    EXPECT_TRUE(slow.StopThread(10));
    EXPECT_FALSE(slow.IsRunning());
    EXPECT_THAT(LogEntries(driver),
                ElementsAre(HasSubstr("was not stopped during 10 milliseconds and will be terminated!")));

    // A ticker ticks at its start when asked, else first after one period.
    CountingTicker ticker;
    ticker.SetTickPeriod(30);
    ASSERT_TRUE(ticker.StartTicking("ticker"));
    EXPECT_TRUE(ticker.ticked.Wait(5000));
    EXPECT_TRUE(WaitUntil([&] { return ticker.ticks.load() >= 3; }, 5000));
    EXPECT_TRUE(ticker.StopTicking());

    CountingTicker late;
    late.SetTickPeriod(400);
    const auto started = Clock::now();
    ASSERT_TRUE(late.Start("ticker"));
    ASSERT_TRUE(late.ticked.Wait(5000));
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(390));
    EXPECT_TRUE(late.StopThread(2000));
}

TEST(QueueThread, HandlesItemsInOrderSurvivesExceptionsKeepsTheNewestWithinItsLimitAndDiscardsThemAtStop)
{
    std::atomic<int> handledOnes{0};
    {
        RecordingQueue queue;
        ASSERT_TRUE(queue.Start("queue"));
        for (int value : {1, -1, 2})
            EXPECT_TRUE(queue.AddItem(std::make_unique<WorkItem>(value, handledOnes), 0)) << value;
        EXPECT_TRUE(WaitUntil([&] { return handledOnes.load() == 3; }, 5000));
        EXPECT_EQ(queue.handled, (std::vector<int>{1, 2}));
    }
    EXPECT_EQ(handledOnes.load(), 3);

    // The limit keeps only the newest items; a stop discards the queued items and refuses later ones.
    std::atomic<int> destroyed{0};
    RecordingQueue queue;
    for (int i = 1; i <= 3; ++i)
        queue.AddItem(std::make_unique<WorkItem>(i, destroyed), 0);
    EXPECT_TRUE(queue.AddItem(std::make_unique<WorkItem>(4, destroyed), 1));
    EXPECT_EQ(std::make_pair(queue.QueuedCount(), destroyed.load()), std::make_pair(size_t{1}, 3));
    // Queued items wait for the next wake-up after the start.
    ASSERT_TRUE(queue.Start("queue"));
    queue.AddItem(std::make_unique<WorkItem>(5, destroyed), 0);
    EXPECT_TRUE(WaitUntil([&] { return destroyed.load() == 5; }, 5000));
    EXPECT_EQ(queue.handled, (std::vector<int>{4, 5}));
    EXPECT_TRUE(queue.Stop());
    EXPECT_FALSE(queue.AddItem(std::make_unique<WorkItem>(6, destroyed), 0));
    EXPECT_EQ(destroyed.load(), 6);
    EXPECT_EQ(queue.handled, (std::vector<int>{4, 5}));

    RecordingQueue unstarted;
    for (int i = 0; i < 5; ++i)
        unstarted.AddItem(std::make_unique<WorkItem>(i, destroyed), 0);
    EXPECT_TRUE(unstarted.Stop());
    EXPECT_EQ(std::make_pair(unstarted.QueuedCount(), destroyed.load()), std::make_pair(size_t{0}, 11));
}

std::string Sha1Hex(const std::string& text)
{
    std::string hex;
    char digits[3];
    for (uint8_t byte : Sha1(text.data(), text.size())) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        hex += digits;
    }
    return hex;
}

std::string Encode(const std::string& text)
{
    return Base64Encode(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::string Decode(const std::string& text)
{
    const auto bytes = Base64Decode(text);
    return std::string(bytes.begin(), bytes.end());
}

TEST(Encoding, DigestsMatchTheStandardVectorsAndBase64TheRfc4648OnesWithLineBreaksAfter76Characters)
{
    const std::vector<std::string> rows = test::ReadTestDataLines("runtime/digests.txt");
    EXPECT_EQ(rows.size(), 20u);
    for (const std::string& row : rows) {
        std::istringstream fields(row);
        std::string algorithm;
        std::string digest;
        std::string text;
        fields >> algorithm >> digest >> std::ws;
        std::getline(fields, text);
        if (text.rfind("a*", 0) == 0)
            text = std::string(std::stoul(text.substr(2)), 'a');
        // Base64 rows are also decoded back.
        const bool base64 = algorithm == "base64";
        const std::string actual = base64 ? Encode(text) : algorithm == "md5" ? Md5Hex(text) : Sha1Hex(text);
        EXPECT_EQ(std::make_pair(actual, base64 ? Decode(digest) : text), std::make_pair(digest, text)) << row;
    }
    EXPECT_EQ(std::make_pair(Encode(""), Decode("")), std::make_pair(std::string(), std::string()));
    const std::string text = Encode(std::string(57 * 2 + 1, 'x'));  // 76 + 76 + 4 characters
    ASSERT_EQ(text.size(), 76u + 2 + 76 + 2 + 4);
    EXPECT_EQ(text.substr(76, 2), "\r\n");
    EXPECT_EQ(text.substr(154, 2), "\r\n");
    EXPECT_EQ(Decode(text), std::string(115, 'x'));
    EXPECT_EQ(Encode(std::string(57, 'x')).substr(76), "\r\n");

    EXPECT_EQ(Decode(" Zm9v\r\nYm Fy=*"), "foobar");
    EXPECT_EQ(Decode("Z=m=8"), "fo");
    EXPECT_TRUE(Base64Decode("!!!").empty());
    const uint8_t bytes[] = {0x00, 0xFF, 0xFE, 0x80};
    EXPECT_EQ(Base64Encode(bytes, 4), "AP/+gA==");
    EXPECT_EQ(Base64Decode("AP/+gA=="), std::vector<uint8_t>(bytes, bytes + 4));
}

const CConfigSettings kDefaults{0, 0, 100, 100, 100, 8};

// A record as one comparable value.
auto Fields(const CConfigSettings& s)
{
    return std::make_tuple(s.rtpMode, s.rtpPacketSize, s.panSpeed, s.tiltSpeed, s.zoomSpeed, s.ptzQueueSize);
}

class ConfigurationTest : public testing::Test {
protected:
    ConfigurationTest()
    {
        driver.hostDirectory = directory.Path();
        driver.SetCamera("10.0.0.5", 80);
    }

    void WriteConfiguration(const std::string& body)
    {
        directory.WriteFile("Tallowcam.xml", "<?xml version=\"1.0\"?>\n<Configuration>\n" + body + "</Configuration>\n");
    }

    // Settings from a Default section holding these elements.
    CConfigSettings SettingsFromDefault(const std::string& elements)
    {
        WriteConfiguration("<Default>" + elements + "</Default>");
        return CConfiguration(driver).GetSettings();
    }

    ScratchDirectory directory;
    test::FakeDriver driver;
};

// The file is the driver's name with .xml in the host's directory; its device section is picked by address and port.
TEST_F(ConfigurationTest, PathTheDeviceSectionByAddressAndPortAndEachSettingWithinItsLimits)
{
    const std::string host = std::string("host") + platform::kDirectorySeparator;
    EXPECT_EQ(CConfiguration::BuildPath("", host), "");
    EXPECT_EQ(CConfiguration::BuildPath("Tallowcam", ""), "Tallowcam.xml");
    EXPECT_EQ(CConfiguration::BuildPath("Tallowcam", host), host + "Tallowcam.xml");
    EXPECT_EQ(CConfiguration::BuildPath("Tallowcam", "host"), host + "Tallowcam.xml");

    WriteConfiguration("<Device address=\"10.0.0.5\" port=\"80\"><PanSpeed>11</PanSpeed>"
                       "<BitrateMode>VBR</BitrateMode></Device>\n"
                       "<Device address=\"10.0.0.50\" port=\"8080\"><PanSpeed>12</PanSpeed></Device>\n"
                       "<Default><PanSpeed>22</PanSpeed><BitrateMode>OFF</BitrateMode></Default>\n");
    const auto panSpeedFor = [&](const std::string& address, uint32_t port) {
        DEVICE_INFO device;
        device.address = address;
        device.port = port;
        return CConfiguration("Tallowcam", directory.Path(), device).GetSettings().panSpeed;
    };
    EXPECT_EQ(panSpeedFor("10.0.0.5", 80), 11u);
    EXPECT_EQ(panSpeedFor("10.0.0.5", 8080), 22u);
    EXPECT_EQ(panSpeedFor("10.0.0.50", 8080), 12u);
    EXPECT_EQ(panSpeedFor("10.0.0.50", 80), 22u);
    EXPECT_EQ(CConfiguration(driver).GetBitrateMode(), kBitrateVariable);
    driver.SetCamera("10.0.0.5", 8080);
    EXPECT_EQ(CConfiguration(driver).GetBitrateMode(), kBitrateOff);

    WriteConfiguration("<Device address=\"10.0.0.6\" port=\"80\"><PanSpeed>11</PanSpeed></Device>\n");
    EXPECT_EQ(Fields(CConfiguration(driver).GetSettings()), Fields(kDefaults));  // no matching section

    // Each setting is read within its limits.
    const std::vector<std::string> rows = test::ReadTestDataLines("runtime/default-settings.txt");
    EXPECT_EQ(rows.size(), 15u);
    for (const std::string& row : rows) {
        SCOPED_TRACE(row);
        const size_t arrow = row.find(" => ");
        std::istringstream values(row.substr(arrow + 4));
        CConfigSettings expected;
        values >> expected.rtpMode >> expected.rtpPacketSize >> expected.panSpeed >> expected.tiltSpeed >>
            expected.zoomSpeed >> expected.ptzQueueSize;
        EXPECT_EQ(Fields(SettingsFromDefault(row.substr(0, arrow))), Fields(expected));
    }
    for (const char* text : {"50%", " 50", "50 ", "+50", "-50", "0x32", "5e1", "", "fifty", "4294967346"}) {
        SCOPED_TRACE(text);
        const std::string value = text;
        EXPECT_EQ(Fields(SettingsFromDefault("<PanSpeed>" + value + "</PanSpeed><RTPPacketSize>" + value +
                                             "</RTPPacketSize><PTZQueueSize>" + value + "</PTZQueueSize>")),
                  Fields(kDefaults));
    }
    EXPECT_TRUE(driver.Lines().empty());
}

TEST_F(ConfigurationTest, ModesNeedTheirTextsTheFileIsReadAnewAtEachCallAndUnusableOnesGiveTheDefaults)
{
    // The streaming mode looks for "multicast", then for "primary".
    const std::pair<const char*, uint32_t> streamingModes[] = {
        {"multicast-primary", kStreamingMulticastPrimary}, {"multicastprimary", kStreamingMulticastPrimary},
        {"primary multicast", kStreamingMulticast},        {"multicast", kStreamingMulticast},
        {"Multicast", kStreamingUnicast},                  {"unicast", kStreamingUnicast},
        {"", kStreamingUnicast}};
    for (const auto& [text, mode] : streamingModes) {
        WriteConfiguration("<StreamingMode>" + std::string(text) + "</StreamingMode>");
        EXPECT_EQ(CConfiguration::GetStreamingMode(driver), mode) << text;
    }
    EXPECT_EQ(CConfiguration::GetStreamingMode("Other", directory.Path()), kStreamingUnicast);

    const std::pair<const char*, uint32_t> bitrateModes[] = {
        {"VBR", kBitrateVariable}, {"OFF", kBitrateOff}, {"vbr", kBitrateDefault}, {"CBR", kBitrateDefault}};
    for (const auto& [text, mode] : bitrateModes) {
        WriteConfiguration("<Default><BitrateMode>" + std::string(text) + "</BitrateMode></Default>");
        EXPECT_EQ(CConfiguration(driver).GetBitrateMode(), mode) << text;
    }

    // The file is read anew at each call; missing or unusable files give the defaults.
    CConfiguration configuration(driver);
    EXPECT_EQ(CConfiguration::GetStreamingMode(driver), kStreamingUnicast);
    EXPECT_EQ(configuration.GetBitrateMode(), kBitrateDefault);
    EXPECT_EQ(Fields(configuration.GetSettings()), Fields(kDefaults));
    EXPECT_EQ(Fields(CConfiguration("", directory.Path(), driver.deviceInfo).GetSettings()), Fields(kDefaults));
    WriteConfiguration("<Default><TiltSpeed>40</TiltSpeed></Default>");
    EXPECT_EQ(configuration.GetSettings().tiltSpeed, 40u);
    WriteConfiguration("<Default><TiltSpeed>60</TiltSpeed></Default>");
    EXPECT_EQ(configuration.GetSettings().tiltSpeed, 60u);

    const std::string oversized = "<Configuration><StreamingMode>multicast</StreamingMode><Default>"
                                  "<PanSpeed>5</PanSpeed></Default>" +
                                  std::string(platform::XmlDocument::kMaxDocumentBytes, ' ') + "</Configuration>";
    const std::string unrelatedRoot = "<Settings><Default><PanSpeed>5</PanSpeed></Default></Settings>";
    const std::string namespaced = "<Configuration xmlns=\"urn:x\"><Default><PanSpeed>5</PanSpeed></Default>"
                                   "</Configuration>";
    for (const std::string& contents :
         {std::string("<Configuration><Default><PanSpeed>5</PanSpeed></Default>"), std::string("\x01\x02garbage"),
          std::string(), oversized, unrelatedRoot, namespaced}) {
        directory.WriteFile("Tallowcam.xml", contents);
        EXPECT_EQ(CConfiguration::GetStreamingMode(driver), kStreamingUnicast);
        EXPECT_EQ(CConfiguration(driver).GetBitrateMode(), kBitrateDefault);
        EXPECT_EQ(Fields(CConfiguration(driver).GetSettings()), Fields(kDefaults));
    }
    EXPECT_TRUE(driver.Lines().empty());
}

// ---- The HTTP sender --------------------------------------------------------------

using camsim::AuthScheme;
using camsim::HttpFault;
using HUtils::RequestGetRD;
using HUtils::RequestGetText;

constexpr char kInfoPath[] = "/-wvhttp-01-/info.cgi";

camsim::CameraOptions Options(std::vector<AuthScheme> schemes = {}, bool tls = false)
{
    camsim::CameraOptions options;
    options.tls = tls;
    options.auth = {"root", "secret", std::move(schemes)};
    return options;
}

struct Camera : camsim::Camera {
    explicit Camera(const camsim::CameraOptions& options = Options()) : camsim::Camera(options)
    {
        EXPECT_TRUE(Start());
    }

    DEVICE_INFO Device(uint32_t timeoutMs = 2000, bool withUser = true) const
    {
        DEVICE_INFO device = DeviceInfo();
        device.requestTimeoutMs = timeoutMs;
        if (!withUser)
            device.userName.clear();
        return device;
    }
};

std::string Label(const DEVICE_INFO& device) { return "device 127.0.0.1:" + std::to_string(device.port); }

// A request as one line: method, target and the named headers.
std::string Summary(const camsim::RecordedRequest& request, std::initializer_list<const char*> headers)
{
    std::string text = request.method + " " + request.target;
    for (const char* name : headers)
        text += std::string(" ") + name + "=" + request.Header(name);
    return text;
}

// A result as one line: "code/severity text".
std::string Summary(const CResultDef& result)
{
    return std::to_string(result.m_code) + "/" + std::to_string(result.m_severity) + " " + result.m_text;
}

// The scheme of each request's Authorization header with its space, in order ("" for none).
std::vector<std::string> Schemes(const camsim::RequestLog& log)
{
    std::vector<std::string> schemes;
    for (const auto& request : log.All())
        schemes.push_back(request.Header("Authorization").substr(0, request.Header("Authorization").find(' ') + 1));
    return schemes;
}

TEST(HttpSender, SendsGetsAndPostsAsGivenAndMapsErrorsToTheirCodes)
{
    Camera camera;
    Web::CHttpSender sender(camera.Device(2000, false));
    EXPECT_EQ(sender.GetDataAvailable(), 0u);

    std::string text;
    ASSERT_TRUE(RequestGetText(sender, "/-wvhttp-01-/info.cgi?item=c.1.pan", text));
    EXPECT_EQ(text, camera.Model().InfoReply("c.1.pan"));
    EXPECT_EQ(std::make_tuple(sender.GetStatusCode(), sender.GetContentLength(), sender.IsSecure()),
              std::make_tuple(200u, text.size(), false));

    const auto requests = camera.HttpRequests().All();
    ASSERT_EQ(requests.size(), 1u);
    // No user name, no credentials.
    EXPECT_EQ(Summary(requests[0], {"User-Agent", "Authorization", "Accept"}),
              "GET /-wvhttp-01-/info.cgi?item=c.1.pan User-Agent=Korvane::HttpSender Authorization= Accept=");

    ASSERT_TRUE(RequestGetText(sender, "/-wvhttp-01-/info.cgi?item=c.1.tilt", text));
    EXPECT_EQ(camera.HttpRequests().All().back().clientPort, requests[0].clientPort);  // connection kept

    // A chunked body goes out as given, with its length and without transfer encoding.
    Web::CHttpRequest post("/-wvaudio-01-/recv?t=win-a-100&l=100", "POST");
    const std::string chunked = std::string("56\r\n\x02\x00\x00\x00\x00\x0a", 10) + std::string(80, 'a') + "\r\n0\r\n\r\n";
    post.m_body.assign(chunked.begin(), chunked.end());
    post.m_headers = {"Content-Type: application/x-wva-100", "Connection: Keep-Alive"};
    ASSERT_TRUE(sender.Send(post));
    EXPECT_EQ(sender.GetStatusCode(), 200u);
    std::vector<uint8_t> reply;
    EXPECT_EQ(sender.ReadBody(reply), 16u);
    ASSERT_EQ(camera.HttpRequests().Count(), 3u);
    const auto posted = camera.HttpRequests().All().back();
    EXPECT_EQ(posted.body, chunked);
    EXPECT_EQ(Summary(posted, {"Content-Length", "Content-Type", "Transfer-Encoding", "Expect"}),
              "POST /-wvaudio-01-/recv?t=win-a-100&l=100 Content-Length=" + std::to_string(chunked.size()) +
                  " Content-Type=application/x-wva-100 Transfer-Encoding= Expect=");

    // The query is escaped only when asked.
    Web::CHttpRequest unescaped("/-wvhttp-01-/control.cgi?title=a b", "GET");
    unescaped.m_flags = 0;
    ASSERT_TRUE(sender.Send(unescaped));
    ASSERT_TRUE(sender.Send(Web::CHttpRequest("/-wvhttp-01-/control.cgi?title=a%20b", "GET")));
    const auto targets = camera.HttpRequests().Targets();
    EXPECT_EQ(std::vector<std::string>(targets.end() - 2, targets.end()),
              std::vector<std::string>(2, "/-wvhttp-01-/control.cgi?title=a%20b"));

    // Status errors and odd bodies map to their codes.
    const std::string op = "korvane::HUtils::RequestGetRD: ";
    const std::string label = Label(camera.Device());
    std::vector<uint8_t> body;

    camera.Http().SetFault(HttpFault::NoContent);
    EXPECT_EQ(Summary(RequestGetRD(sender, kInfoPath, body)),
              "12/2 " + op + "Incorrect response for request \"" + kInfoPath + "\" from " + label);
    EXPECT_EQ(std::make_pair(sender.GetStatusCode(), sender.GetContentLength()), std::make_pair(204u, 0u));
    camera.Http().SetFault(HttpFault::NotFound);
    EXPECT_EQ(Summary(RequestGetRD(sender, "/missing", body)),
              "9/1 " + op + "The \"/missing\" URL was not found on " + label);
    camera.Http().SetFault(HttpFault::ServerError);
    EXPECT_EQ(Summary(RequestGetRD(sender, kInfoPath, body)), "8/1 " + op + label + " is unable to process \"" +
                                                                  kInfoPath + "\" request. HTTP status code is 500");
    EXPECT_TRUE(body.empty());
    std::vector<uint8_t> unread;
    sender.ReadChunk(unread, 100, true);  // the error body is still waiting: it was not read
    EXPECT_EQ(std::string(unread.begin(), unread.end()), "Internal Server Error");

    // A body without length is read up to one mebibyte.
    camera.Http().SetFault(HttpFault::UnknownLength);
    ASSERT_TRUE(RequestGetRD(sender, kInfoPath, body).IsSuccess());
    EXPECT_EQ(sender.GetContentLength(), 0u);
    EXPECT_EQ(std::string(body.begin(), body.end()), camera.Model().InfoReply(""));
    camera.Http().SetFault(HttpFault::HugeBody);
    ASSERT_TRUE(RequestGetRD(sender, kInfoPath, body).IsSuccess());
    EXPECT_EQ(body.size(), 1048576u);
    camera.Http().SetFault(HttpFault::None);
    EXPECT_TRUE(RequestGetText(sender, kInfoPath, text));

    camera.Http().SetFault(HttpFault::TruncatedBody);
    EXPECT_EQ(RequestGetRD(sender, kInfoPath, body).m_code, 12u);
    EXPECT_EQ(body.size(), camera.Model().InfoReply("").size() / 2);
}

// Basic goes first, never without a user name or in mode five; Digest is learnt from the first refusal and kept.
TEST(HttpSender, CredentialsBasicFirstDigestLearntOnceAndRefusedOnesGiveCodeTen)
{
#ifdef _WIN32
    GTEST_SKIP() << "wine's WinHTTP has no Digest scheme (\"invalid scheme 3\", then 401 again)";
#endif
    Camera camera(Options({AuthScheme::Basic}));
    Web::CHttpSender sender(camera.Device());

    std::string text;
    ASSERT_TRUE(RequestGetText(sender, kInfoPath, text));
    Web::CHttpRequest anonymous(kInfoPath, "GET");
    anonymous.m_authenticationMode = Web::kHttpAuthModeNone;
    ASSERT_TRUE(sender.Send(anonymous));
    EXPECT_EQ(sender.GetStatusCode(), 401u);
    EXPECT_EQ(Schemes(camera.HttpRequests()), (std::vector<std::string>{"Basic ", "", ""}));

    Camera other(Options({AuthScheme::Basic}));
    Web::CHttpSender withoutUser(other.Device(2000, false));
    std::vector<uint8_t> body;
    EXPECT_EQ(RequestGetRD(withoutUser, kInfoPath, body).m_code, 10u);
    // The learning retry, still without credentials.
    EXPECT_EQ(Schemes(other.HttpRequests()), (std::vector<std::string>{"", ""}));

    Camera digest(Options({AuthScheme::Digest, AuthScheme::Basic}));
    digest.Auth().Configure({"root", "secret", {AuthScheme::Digest}});
    Web::CHttpSender learning(digest.Device());
    ASSERT_TRUE(RequestGetText(learning, "/admin/-set-?el=dh10", text));
    EXPECT_EQ(text, "Valdh10=1\r\n");
    EXPECT_EQ(std::make_tuple(learning.GetPreferredScheme(), digest.HttpRequests().Count()), std::make_tuple(8u, 2u));
    ASSERT_TRUE(RequestGetText(learning, kInfoPath, text));
    ASSERT_TRUE(RequestGetText(learning, kInfoPath, text));
    // One refused Basic request, one retry with Digest, then Digest from the first request on.
    EXPECT_EQ(Schemes(digest.HttpRequests()), (std::vector<std::string>{"Basic ", "Digest ", "Digest ", "Digest "}));

    // Wrong passwords for either scheme, and a camera that refuses every request, give code ten without looping.
    const std::tuple<AuthScheme, const char*, HttpFault, size_t> cases[] = {
        {AuthScheme::Basic, "wrong", HttpFault::None, 5}, {AuthScheme::Digest, "wrong", HttpFault::None, 5},
        {AuthScheme::Digest, "secret", HttpFault::AlwaysUnauthorized, 6}};
    for (const auto& [scheme, password, fault, mostRequests] : cases) {
        Camera refusing(Options({scheme}));
        refusing.Http().SetFault(fault);
        DEVICE_INFO device = refusing.Device();
        device.password = password;
        Web::CHttpSender refused(device);
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(Summary(RequestGetRD(refused, kInfoPath, body)),
                      "10/1 korvane::HUtils::RequestGetRD: " + Label(device) + " is unable to process \"" +
                          kInfoPath + "\" request: credentials are invalid");
            EXPECT_EQ(refused.GetStatusCode(), 401u);
        }
        EXPECT_LE(refusing.HttpRequests().Count(), mostRequests);
    }
}

// A port whose connections the system takes and nobody serves; with a full queue of
// connections waiting to be taken, a new one cannot even connect.
class SilentPort {
public:
    explicit SilentPort(bool fullQueue)
    {
        EXPECT_TRUE(m_listener.Create() && m_listener.Listen(platform::ParseIPv4("127.0.0.1"), 0));
        while (fullQueue && m_waiting.size() < 64) {
            m_waiting.emplace_back();
            m_waiting.back().Create();
            if (!m_waiting.back().Connect(platform::ParseIPv4("127.0.0.1"), Port(), 100))
                break;
        }
    }
    uint16_t Port() const { return m_listener.LocalPort(); }

private:
    platform::TcpSocket m_listener;
    std::vector<platform::TcpSocket> m_waiting;
};

// An unreachable camera gives code eleven. A late reply ends in a time-out, a held one in an abort from another
// thread, and a stopped owner starts no request; each sender stays usable.
TEST(HttpSender, UnreachableCamerasTimeOutsOfEachPhaseAbortsAndStopsEndRequests)
{
    DEVICE_INFO device;
    {
        Camera gone;
        device = gone.Device(1000);
    }
    Web::CHttpSender sender(device);
    std::vector<uint8_t> body;
    EXPECT_EQ(Summary(RequestGetRD(sender, kInfoPath, body)),
              "11/4 korvane::HUtils::RequestGetRD: Cannot send request \"" + std::string(kInfoPath) + "\" to " +
                  Label(device));
    EXPECT_EQ(sender.GetStatusCode(), 0u);

    camsim::CameraOptions options;
    options.httpPort = device.port;
    camsim::Camera back(options);
    ASSERT_TRUE(back.Start());
    std::string text;
    EXPECT_TRUE(RequestGetText(sender, kInfoPath, text));

    Camera camera;
    camera.Http().SetFault(HttpFault::SlowReply, 10000);
    Web::CHttpSender slow(camera.Device(300));
    const auto start = Clock::now();
    EXPECT_EQ(RequestGetRD(slow, kInfoPath, body).m_code, 11u);
    EXPECT_LT(ElapsedMs(start), 5000u);  // well before the reply would come

    camera.Http().SetFault(HttpFault::None);
    EXPECT_TRUE(RequestGetText(slow, kInfoPath, text));
    EXPECT_FALSE(slow.IsSecure());

    camera.Http().SetFault(HttpFault::NeverReply);
    Web::CHttpSender held(camera.Device(20000));
    const size_t before = camera.HttpRequests().Count();
    auto running = std::async(std::launch::async, [&] {
        const bool sent = held.Send(Web::CHttpRequest(kInfoPath, "GET"));
        return std::make_pair(sent, Clock::now());
    });
    ASSERT_TRUE(camera.HttpRequests().WaitForCount(before + 1, 5000));
    const auto aborted = Clock::now();
    held.Abort();
    ASSERT_EQ(running.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const auto [sent, ended] = running.get();
    EXPECT_FALSE(sent);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(ended - aborted).count(), 1000);
    EXPECT_EQ(camera.HttpRequests().Count(), before + 1);  // no protocol fallback after an abort
    camera.Http().SetFault(HttpFault::None);
    EXPECT_TRUE(RequestGetText(held, kInfoPath, text));

    // No phase borrows another's time: an accepted, never answered request costs the wait for
    // the reply plus, on the HTTPS retry, the wait for the handshake; a connection that is
    // never accepted costs the connect time-out alone.
    constexpr uint64_t kTimeoutMs = 1000;
    for (const auto& [fullQueue, phases] : {std::pair{false, 2ull}, std::pair{true, 1ull}}) {
        SilentPort silent(fullQueue);
        DEVICE_INFO silentDevice;
        silentDevice.address = "127.0.0.1";
        silentDevice.port = silent.Port();
        silentDevice.requestTimeoutMs = kTimeoutMs;
        Web::CHttpSender silentSender(silentDevice);
        const auto started = Clock::now();
        EXPECT_FALSE(silentSender.Send(Web::CHttpRequest(kInfoPath, "GET")));
        EXPECT_GE(ElapsedMs(started), phases * kTimeoutMs - 50) << fullQueue;
        EXPECT_LT(ElapsedMs(started), phases * kTimeoutMs + kTimeoutMs / 2) << fullQueue;
    }

    CManualEvent stop;
    CStopScope scope([&] { return stop.IsSet(); });
    ASSERT_TRUE(RequestGetText(slow, kInfoPath, text));
    stop.Set();  // the owner stops, and aborts, before its next request begins
    slow.Abort();
    EXPECT_FALSE(RequestGetText(slow, kInfoPath, text));
    EXPECT_EQ(camera.HttpRequests().Count(), before + 3);
}

TEST(HttpSender, VerifiesTheCertificateUnlessAskedNotToAndFallsBackToHttpsOnce)
{
    if (!camsim::TlsServerAvailable())
        GTEST_SKIP() << "camsim has no HTTPS server in this build (no OpenSSL for mingw-w64)";
    Camera camera(Options({AuthScheme::Basic}, true));
    Web::CHttpSender verifying(camera.Device());
    Web::CHttpRequest request(kInfoPath, "GET");
    request.m_flags &= ~Web::kHttpFlagAnyCertificate;
    EXPECT_FALSE(verifying.Send(request));  // the simulator's certificate is self-signed
    EXPECT_EQ(camera.HttpRequests().Count(), 0u);
    EXPECT_FALSE(verifying.IsSecure());
    EXPECT_TRUE(verifying.Send(Web::CHttpRequest(kInfoPath, "GET")));
    EXPECT_EQ(camera.HttpRequests().Count(), 1u);

    const size_t failedHandshakes = camera.Http().FailedHandshakes();
    Web::CHttpSender sender(camera.Device());
    std::string text;
    ASSERT_TRUE(RequestGetText(sender, kInfoPath, text));
    EXPECT_TRUE(sender.IsSecure());
    EXPECT_EQ(camera.Http().FailedHandshakes(), failedHandshakes + 1);  // the plain HTTP attempt
    ASSERT_TRUE(RequestGetText(sender, kInfoPath, text));
    EXPECT_EQ(camera.Http().FailedHandshakes(), failedHandshakes + 1);
    const auto requests = camera.HttpRequests().All();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(requests[1].secure && requests[2].secure);
}

TEST(HttpSender, PortFourFourThreeStartsWithHttps)
{
    if (!camsim::TlsServerAvailable())
        GTEST_SKIP() << "camsim has no HTTPS server in this build (no OpenSSL for mingw-w64)";
    // Port 443 needs privileges and may be taken: try a few loopback addresses.
    for (const char* address : {"127.0.0.1", "127.0.0.44", "127.0.0.143"}) {
        camsim::CameraOptions options = Options({}, true);
        options.address = address;
        options.httpPort = 443;
        camsim::Camera camera(options);
        if (!camera.Start())
            continue;
        Web::CHttpSender sender(camera.DeviceInfo());
        EXPECT_TRUE(sender.IsSecure());
        std::string text;
        ASSERT_TRUE(RequestGetText(sender, kInfoPath, text));
        EXPECT_EQ(std::make_tuple(sender.IsSecure(), camera.Http().FailedHandshakes(), camera.HttpRequests().Count()),
                  std::make_tuple(true, 0u, 1u));
        return;
    }
    GTEST_SKIP() << "no loopback address with a free port 443";
}

}  // namespace
