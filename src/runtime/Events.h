#pragma once
// Event wrappers used for stop, wake, data and frame signals.
#include <cstdint>

#include "platform/Event.h"

namespace korvane {

constexpr uint32_t kInfiniteWait = platform::kInfinite;

class CEvent {
public:
    explicit CEvent(bool manualReset = false) : m_event(manualReset) {}
    virtual ~CEvent() = default;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    bool Set()
    {
        m_event.Set();
        return true;
    }
    bool Reset()
    {
        m_event.Reset();
        return true;
    }
    // True when the event was signalled within the time-out.
    bool Wait(uint32_t timeoutMs) { return m_event.Wait(timeoutMs); }
    bool IsSet() const;

    platform::Event& Native() { return m_event; }

private:
    mutable platform::Event m_event;
};

class CManualEvent : public CEvent {
public:
    CManualEvent() : CEvent(true) {}
};

// Index of the signalled event (the lowest one when several are), or -1 on
// time-out, an empty or a null list.
int WaitAny(CEvent* const* events, uint32_t count, uint32_t timeoutMs);

}  // namespace korvane
