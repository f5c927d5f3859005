#include "platform/Thread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

namespace korvane::platform {

Thread::~Thread()
{
    Join(kInfinite);
}

bool Thread::Start(std::function<void()> routine)
{
    if (m_thread.joinable())
        return false;
    // The routine runs only once this object fully describes the thread, so
    // that it may ask IsCurrent() or Id() about itself.
    auto ended = std::make_shared<Event>(true);
    auto started = std::make_shared<Event>(true);
    auto attached = std::make_shared<Event>(true);
    auto id = std::make_shared<std::atomic<uint32_t>>(0);
    try {
        m_thread = std::thread([routine = std::move(routine), ended, started, attached, id] {
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
    m_id = id->load();
    m_ended = ended;
    attached->Set();
    return true;
}

bool Thread::Join(uint32_t timeoutMs)
{
    if (!m_thread.joinable())
        return true;
    if (!m_ended->Wait(timeoutMs))
        return false;
    m_thread.join();
    m_ended.reset();
    return true;
}

void Thread::Detach()
{
    if (!m_thread.joinable())
        return;
    m_thread.detach();
    m_ended.reset();
}

bool Thread::HasEnded() const
{
    return !m_thread.joinable() || m_ended->Wait(0);
}

bool Thread::IsCurrent() const
{
    return m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id();
}

uint32_t CurrentThreadId()
{
    return static_cast<uint32_t>(::syscall(SYS_gettid));
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
