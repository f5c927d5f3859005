#pragma once
// Polls a condition until it holds or the time-out passes; times host calls.
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

namespace korvane::test {

template <typename Condition>
bool WaitUntil(Condition condition, uint32_t timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

using Clock = std::chrono::steady_clock;

inline uint64_t ElapsedMs(Clock::time_point since)
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// How long the call took.
inline uint64_t TimedMs(const std::function<void()>& call)
{
    const auto start = Clock::now();
    call();
    return ElapsedMs(start);
}

}  // namespace korvane::test
