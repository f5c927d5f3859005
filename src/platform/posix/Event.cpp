#include "platform/Event.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace korvane::platform {

namespace {

struct Waiter {
    std::mutex mutex;
    std::condition_variable wake;
    bool notified = false;

    void Notify()
    {
        std::lock_guard<std::mutex> guard(mutex);
        notified = true;
        wake.notify_all();
    }
};

}  // namespace

struct Event::State {
    explicit State(bool manualReset) : manualReset(manualReset) {}

    bool TryConsume()  // caller holds mutex
    {
        if (!signalled)
            return false;
        if (!manualReset)
            signalled = false;
        return true;
    }
    void Attach(Waiter* waiter)
    {
        std::lock_guard<std::mutex> guard(mutex);
        waiters.push_back(waiter);
    }
    void Detach(Waiter* waiter)
    {
        std::lock_guard<std::mutex> guard(mutex);
        waiters.erase(std::remove(waiters.begin(), waiters.end(), waiter), waiters.end());
    }

    const bool manualReset;
    bool signalled = false;
    std::mutex mutex;  // taken before a waiter's mutex, never after
    std::vector<Waiter*> waiters;  // detached before their waits return
};

Event::Event(bool manualReset) : m_state(std::make_unique<State>(manualReset)) {}

Event::~Event() = default;

void Event::Set()
{
    std::lock_guard<std::mutex> guard(m_state->mutex);
    m_state->signalled = true;
    for (Waiter* waiter : m_state->waiters)
        waiter->Notify();
}

void Event::Reset()
{
    std::lock_guard<std::mutex> guard(m_state->mutex);
    m_state->signalled = false;
}

bool Event::Wait(uint32_t timeoutMs)
{
    Event* self = this;
    return WaitAny(&self, 1, timeoutMs) == 0;
}

namespace {

int ConsumeFirstSignalled(Event* const* events, size_t count, bool (*tryConsume)(Event*))
{
    for (size_t i = 0; i < count; ++i)
        if (tryConsume(events[i]))
            return static_cast<int>(i);
    return -1;
}

}  // namespace

int WaitAny(Event* const* events, size_t count, uint32_t timeoutMs)
{
    if (events == nullptr || count == 0)
        return -1;
    for (size_t i = 0; i < count; ++i)
        if (events[i] == nullptr)
            return -1;

    auto tryConsume = [](Event* event) {
        std::lock_guard<std::mutex> guard(event->m_state->mutex);
        return event->m_state->TryConsume();
    };
    int index = ConsumeFirstSignalled(events, count, tryConsume);
    if (index >= 0 || timeoutMs == 0)
        return index;

    // A thread waits for one call at a time, so its waiter is its own.
    thread_local Waiter t_waiter;
    Waiter* const waiter = &t_waiter;
    {
        std::lock_guard<std::mutex> guard(waiter->mutex);
        waiter->notified = false;
    }
    for (size_t i = 0; i < count; ++i)
        events[i]->m_state->Attach(waiter);

    const bool infinite = timeoutMs == kInfinite;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        index = ConsumeFirstSignalled(events, count, tryConsume);
        if (index >= 0)
            break;
        std::unique_lock<std::mutex> lock(waiter->mutex);
        if (!waiter->notified) {
            if (infinite) {
                waiter->wake.wait(lock, [&] { return waiter->notified; });
            } else if (!waiter->wake.wait_until(lock, deadline, [&] { return waiter->notified; })) {
                lock.unlock();
                index = ConsumeFirstSignalled(events, count, tryConsume);
                break;
            }
        }
        waiter->notified = false;
    }

    for (size_t i = 0; i < count; ++i)
        events[i]->m_state->Detach(waiter);
    return index;
}

}  // namespace korvane::platform
