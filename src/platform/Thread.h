#pragma once
// Native threads with a bounded join. Threads are never terminated forcibly:
// a join that times out leaves the thread running and can be repeated.
#include <cstdint>
#include <functional>
#include <memory>

namespace korvane::platform {

class Thread {
public:
    Thread();
    ~Thread();  // waits for a running thread to end
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the routine on a new thread; false when a thread is still attached.
    bool Start(std::function<void()> routine);
    // True when the thread has ended within the time-out (or none is attached);
    // the thread is then detached from this object.
    bool Join(uint32_t timeoutMs);
    // Lets the thread run on unwatched (for a thread that outlives its owner).
    void Detach();
    bool IsAttached() const;
    bool HasEnded() const;
    bool IsCurrent() const;
    uint32_t Id() const;

    struct State;  // the backend's

private:
    std::unique_ptr<State> m_state;
};

uint32_t CurrentThreadId();
unsigned ProcessorCount();
void SleepMs(uint32_t ms);

}  // namespace korvane::platform
