#include "platform/Thread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Event.h"

namespace korvane::platform {

struct Thread::State {
    std::thread thread;
    std::shared_ptr<Event> ended;
    uint32_t id = 0;
};

Thread::Thread() : m_state(std::make_unique<State>()) {}

Thread::~Thread()
{
    Join(kInfinite);
}

bool Thread::IsAttached() const
{
    return m_state->thread.joinable();
}

uint32_t Thread::Id() const
{
    return m_state->id;
}

bool Thread::Start(std::function<void()> routine)
{
    if (m_state->thread.joinable())
        return false;
    // The routine runs only once this object fully describes the thread, so
    // that it may ask IsCurrent() or Id() about itself.
    auto ended = std::make_shared<Event>(true);
    auto started = std::make_shared<Event>(true);
    auto attached = std::make_shared<Event>(true);
    auto id = std::make_shared<std::atomic<uint32_t>>(0);
    try {
        m_state->thread = std::thread([routine = std::move(routine), ended, started, attached, id] {
            id->store(CurrentThreadId());
            started->Set();
            attached->Wait(kInfinite);
            routine();
            ended->Set();
        });
    } catch (...) {
        return false;
    }
    started->Wait(kInfinite);
    m_state->id = id->load();
    m_state->ended = ended;
    attached->Set();
    return true;
}

bool Thread::Join(uint32_t timeoutMs)
{
    if (!m_state->thread.joinable())
        return true;
    if (!m_state->ended->Wait(timeoutMs))
        return false;
    m_state->thread.join();
    m_state->ended.reset();
    return true;
}

void Thread::Detach()
{
    if (!m_state->thread.joinable())
        return;
    m_state->thread.detach();
    m_state->ended.reset();
}

bool Thread::HasEnded() const
{
    return !m_state->thread.joinable() || m_state->ended->Wait(0);
}

bool Thread::IsCurrent() const
{
    return m_state->thread.joinable() && m_state->thread.get_id() == std::this_thread::get_id();
}

uint32_t CurrentThreadId()
{
    // Asked for by every lock, so asked of the system once per thread.
    thread_local const uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
    return id;
}

unsigned ProcessorCount()
{
    long count = ::sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<unsigned>(count) : 1;
}

void SleepMs(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace korvane::platform
