#pragma once
// Polls a condition until it holds or the time-out passes.
#include <chrono>
#include <cstdint>
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

}  // namespace korvane::test
