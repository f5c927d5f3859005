#pragma once
// A lock for host objects the driver calls from its own threads, and access
// to their records under it.
#include <mutex>

namespace korvane::test {

class Guarded {
protected:
    // Runs access under the lock and gives what it returns.
    template <typename Access>
    auto Locked(Access access) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return access();
    }

    mutable std::mutex m_mutex;
};

}  // namespace korvane::test
