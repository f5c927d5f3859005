#pragma once
// Win32-style events: manual- or auto-reset, and a wait for any of several events.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace korvane::platform {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class Event {
public:
    explicit Event(bool manualReset);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // True when signalled within the time-out; an auto-reset event is consumed.
    bool Wait(uint32_t timeoutMs);

    struct State;  // the backend's

private:
    friend int WaitAny(Event* const* events, size_t count, uint32_t timeoutMs);

    std::unique_ptr<State> m_state;
};

// Index of the lowest signalled event (consuming only that one when it is
// auto-reset), or -1 on time-out, an empty list or a null list or entry.
int WaitAny(Event* const* events, size_t count, uint32_t timeoutMs);

}  // namespace korvane::platform
