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
    auto ended = std::make_shared<Event>(true);
    auto started = std::make_shared<Event>(true);
    // The routine may stop or join its own thread object: it runs only once
    // this object describes the thread.
    auto published = std::make_shared<Event>(true);
    auto id = std::make_shared<std::atomic<uint32_t>>(0);
    try {
        m_thread = std::thread([routine = std::move(routine), ended, started, published, id] {
            id->store(CurrentThreadId());
            started->Set();
            published->Wait(kInfinite);
            routine();
            ended->Set();
        });
    } catch (...) {
        return false;
    }
    started->Wait(kInfinite);
    m_id = id->load();
    m_ended = ended;
    published->Set();
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
