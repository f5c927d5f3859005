#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "runtime/RecursiveLock.h"

using namespace korvane;

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
