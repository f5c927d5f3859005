#include "runtime/Events.h"

#include <vector>

namespace korvane {

bool CEvent::IsSet() const
{
    // Only meaningful for manual-reset events: a zero wait consumes an auto-reset one.
    return m_event.Wait(0);
}

int WaitAny(CEvent* const* events, uint32_t count, uint32_t timeoutMs)
{
    if (events == nullptr || count == 0)
        return -1;
    std::vector<platform::Event*> natives(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (events[i] == nullptr)
            return -1;
        natives[i] = &events[i]->Native();
    }
    return platform::WaitAny(natives.data(), natives.size(), timeoutMs);
}

}  // namespace korvane
