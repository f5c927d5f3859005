#include "platform/Event.h"

#include <windows.h>

#include <vector>

namespace korvane::platform {

struct Event::State {
    explicit State(bool manualReset) : handle(CreateEventA(nullptr, manualReset, FALSE, nullptr)) {}
    ~State()
    {
        if (handle != nullptr)
            CloseHandle(handle);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    const HANDLE handle;
};

Event::Event(bool manualReset) : m_state(std::make_unique<State>(manualReset)) {}

Event::~Event() = default;

void Event::Set()
{
    SetEvent(m_state->handle);
}

void Event::Reset()
{
    ResetEvent(m_state->handle);
}

bool Event::Wait(uint32_t timeoutMs)
{
    return m_state->handle != nullptr && WaitForSingleObject(m_state->handle, timeoutMs) == WAIT_OBJECT_0;
}

int WaitAny(Event* const* events, size_t count, uint32_t timeoutMs)
{
    if (events == nullptr || count == 0 || count > MAXIMUM_WAIT_OBJECTS)
        return -1;
    std::vector<HANDLE> handles(count);
    for (size_t i = 0; i < count; ++i) {
        if (events[i] == nullptr || events[i]->m_state->handle == nullptr)
            return -1;
        handles[i] = events[i]->m_state->handle;
    }
    // Wakes for the lowest signalled handle and consumes only that one.
    const DWORD result = WaitForMultipleObjects(static_cast<DWORD>(count), handles.data(), FALSE, timeoutMs);
    if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count)
        return static_cast<int>(result - WAIT_OBJECT_0);
    return -1;
}

}  // namespace korvane::platform
