#pragma once
// A guarded wall-clock stamp on the 100-ns file-time scale.
#include <cstdint>

#include "platform/Time.h"
#include "runtime/RecursiveLock.h"

namespace korvane {

class CTime {
public:
    CTime() : m_stamp(platform::NowFileTime()) {}
    virtual ~CTime() = default;

    void Update();
    uint64_t Get() const;
    void Set(uint64_t stamp);
    // Milliseconds from the stamp to now; 0 when the stamp is not earlier than now.
    uint64_t ElapsedMs() const;

private:
    mutable CRecursiveLock m_lock;
    uint64_t m_stamp;
};

inline uint64_t NowFileTime()
{
    return platform::NowFileTime();
}

}  // namespace korvane
