#pragma once
// Recursive lock that spins before it blocks on an event.
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/Event.h"

namespace korvane {

class CRecursiveLock {
public:
    CRecursiveLock();
    ~CRecursiveLock();
    CRecursiveLock(const CRecursiveLock&) = delete;
    CRecursiveLock& operator=(const CRecursiveLock&) = delete;

    void Lock();
    bool TryLock();
    void Unlock();

private:
    struct State {
        uint32_t spinCount = 0;
        std::atomic<int32_t> lockCount{0};
        std::atomic<uint32_t> owner{0};
        uint32_t depth = 0;
    };
    void TakeOwnership(uint32_t self);

    platform::Event m_event{false};
    std::unique_ptr<State> m_state;
};

// Holds a lock for the lifetime of the guard.
class CAutoLock {
public:
    explicit CAutoLock(CRecursiveLock& lock) : m_lock(lock) { m_lock.Lock(); }
    ~CAutoLock() { m_lock.Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    CRecursiveLock& m_lock;
};

}  // namespace korvane
