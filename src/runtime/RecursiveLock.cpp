#include "runtime/RecursiveLock.h"

#include "platform/Thread.h"

namespace korvane {

namespace {

uint32_t SpinCountForThisMachine()
{
    static const uint32_t spinCount = platform::ProcessorCount() > 1 ? 4000 : 0;
    return spinCount;
}

}  // namespace

CRecursiveLock::CRecursiveLock() : m_state(std::make_unique<State>())
{
    m_state->spinCount = SpinCountForThisMachine();
}

CRecursiveLock::~CRecursiveLock() = default;

void CRecursiveLock::TakeOwnership(uint32_t self)
{
    m_state->owner.store(self);
    m_state->depth = 1;
}

bool CRecursiveLock::TryLock()
{
    const uint32_t self = platform::CurrentThreadId();
    for (uint32_t attempt = 0; attempt <= m_state->spinCount; ++attempt) {
        int32_t expected = 0;
        if (m_state->lockCount.compare_exchange_strong(expected, 1)) {
            TakeOwnership(self);
            return true;
        }
        if (m_state->owner.load() == self) {
            ++m_state->lockCount;
            ++m_state->depth;
            return true;
        }
    }
    return false;
}

void CRecursiveLock::Lock()
{
    if (TryLock())
        return;
    const uint32_t self = platform::CurrentThreadId();
    if (++m_state->lockCount == 1) {
        TakeOwnership(self);
        return;
    }
    if (m_state->owner.load() == self) {
        ++m_state->depth;
        return;
    }
    m_event.Wait(platform::kInfinite);
    TakeOwnership(self);
}

void CRecursiveLock::Unlock()
{
    if (--m_state->depth > 0) {
        --m_state->lockCount;
        return;
    }
    m_state->owner.store(0);
    if (--m_state->lockCount > 0)
        m_event.Set();
}

}  // namespace korvane
