#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "runtime/RecursiveLock.h"

using namespace korvane;

TEST(RecursiveLock, OwnerMayLockAgain)
{
    CRecursiveLock lock;
    lock.Lock();
    EXPECT_TRUE(lock.TryLock());
    lock.Lock();
    lock.Unlock();
    lock.Unlock();
    lock.Unlock();
    bool otherGotIt = false;
    std::thread other([&] {
        otherGotIt = lock.TryLock();
        if (otherGotIt)
            lock.Unlock();
    });
    other.join();
    EXPECT_TRUE(otherGotIt);
}

TEST(RecursiveLock, TryLockFailsWhileAnotherThreadHoldsIt)
{
    CRecursiveLock lock;
    lock.Lock();
    bool otherGotIt = true;
    std::thread other([&] { otherGotIt = lock.TryLock(); });
    other.join();
    EXPECT_FALSE(otherGotIt);
    lock.Unlock();
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
