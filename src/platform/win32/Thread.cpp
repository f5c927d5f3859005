#include "platform/Thread.h"

#include <windows.h>

namespace korvane::platform {

struct Thread::State {
    HANDLE handle = nullptr;
    DWORD id = 0;
};

namespace {

DWORD WINAPI RunRoutine(void* parameter)
{
    const std::unique_ptr<std::function<void()>> routine(static_cast<std::function<void()>*>(parameter));
    (*routine)();
    return 0;
}

}  // namespace

Thread::Thread() : m_state(std::make_unique<State>()) {}

Thread::~Thread()
{
    Join(INFINITE);
}

bool Thread::Start(std::function<void()> routine)
{
    if (IsAttached())
        return false;
    auto* parameter = new (std::nothrow) std::function<void()>(std::move(routine));
    if (parameter == nullptr)
        return false;
    // Suspended until this object fully describes the thread, so that the
    // routine may ask IsCurrent() or Id() about itself.
    DWORD id = 0;
    HANDLE handle = CreateThread(nullptr, 0, RunRoutine, parameter, CREATE_SUSPENDED, &id);
    if (handle == nullptr) {
        delete parameter;
        return false;
    }
    m_state->handle = handle;
    m_state->id = id;
    ResumeThread(handle);
    return true;
}

bool Thread::Join(uint32_t timeoutMs)
{
    if (!IsAttached())
        return true;
    if (WaitForSingleObject(m_state->handle, timeoutMs) != WAIT_OBJECT_0)
        return false;
    Detach();
    return true;
}

void Thread::Detach()
{
    if (!IsAttached())
        return;
    CloseHandle(m_state->handle);
    m_state->handle = nullptr;
}

bool Thread::IsAttached() const
{
    return m_state->handle != nullptr;
}

bool Thread::HasEnded() const
{
    return !IsAttached() || WaitForSingleObject(m_state->handle, 0) == WAIT_OBJECT_0;
}

bool Thread::IsCurrent() const
{
    return IsAttached() && GetCurrentThreadId() == m_state->id;
}

uint32_t Thread::Id() const
{
    return m_state->id;
}

uint32_t CurrentThreadId()
{
    return GetCurrentThreadId();
}

unsigned ProcessorCount()
{
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

void SleepMs(uint32_t ms)
{
    Sleep(ms);
}

}  // namespace korvane::platform
