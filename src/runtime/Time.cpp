#include "runtime/Time.h"

namespace korvane {

void CTime::Update()
{
    CAutoLock guard(m_lock);
    m_stamp = platform::NowFileTime();
}

uint64_t CTime::Get() const
{
    CAutoLock guard(m_lock);
    return m_stamp;
}

void CTime::Set(uint64_t stamp)
{
    CAutoLock guard(m_lock);
    m_stamp = stamp;
}

uint64_t CTime::ElapsedMs() const
{
    const uint64_t now = platform::NowFileTime();
    const uint64_t stamp = Get();
    return stamp < now ? (now - stamp) / platform::kFileTimeTicksPerMs : 0;
}

}  // namespace korvane
