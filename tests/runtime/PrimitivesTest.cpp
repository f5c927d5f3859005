// The runtime's building blocks: events, the recursive lock, the shared pointer and time stamps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>
#include <tuple>
#include <vector>

#include "platform/Time.h"
#include "runtime/Events.h"
#include "runtime/RecursiveLock.h"
#include "runtime/SmartPtr.h"
#include "runtime/Time.h"

using namespace korvane;
using namespace ::testing;

namespace {

struct Tracked {
    explicit Tracked(int& destroyed) : destroyed(destroyed) {}
    virtual ~Tracked() { ++destroyed; }
    int& destroyed;
};

}  // namespace

TEST(Events, AutoResetIsConsumedByOneWaitAndManualStaysSignalledUntilReset)
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
}

TEST(Events, WaitAnyReportsTheLowestSignalledConsumesOnlyItAndWakesOnAnotherThreadsSignal)
{
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
}

TEST(Events, PingPongBetweenThreadsLosesNoWakeUp)
{
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
TEST(RecursiveLock, OwnerMayLockAgain)
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
}

TEST(RecursiveLock, ExcludesConcurrentWriters)
{
    CRecursiveLock lock;
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
    int destroyed = 0;
    {
        TSmartPtr<Tracked> first;
        first = new Tracked(destroyed);
        {
            TSmartPtr<Tracked> second = first;
            EXPECT_EQ(second.Get(), first.Get());
        }
        EXPECT_EQ(destroyed, 0);
        first = new Tracked(destroyed);
        EXPECT_EQ(destroyed, 1);
        first = nullptr;
        EXPECT_EQ(destroyed, 2);
        EXPECT_FALSE(first);
    }
    EXPECT_EQ(destroyed, 2);
}

TEST(Time, ElapsedCountsMillisecondsSinceTheStampAndZeroForOneInTheFuture)
{
    CTime time;
    time.Set(NowFileTime() + 60ull * 10000000ull);
    EXPECT_EQ(time.ElapsedMs(), 0u);
    time.Set(NowFileTime() - 1500ull * platform::kFileTimeTicksPerMs);
    EXPECT_THAT(time.ElapsedMs(), AllOf(Ge(1500u), Lt(60000u)));
    time.Update();
    EXPECT_LT(time.ElapsedMs(), 1000u);
}

TEST(Time, FileTimeAndCalendarTimeConvertBothWays)
{
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
