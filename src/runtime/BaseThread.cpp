#include "runtime/BaseThread.h"

#include "driver/IDriver.h"
#include "runtime/StopScope.h"

namespace korvane {

namespace {

const char* kOverdueJoin = "%s: Thread (id=%u, name=\"%s\") for device %s was not stopped during %lu milliseconds";
const char* kOverdueStop =
    "%s: Thread (id=%u, name=\"%s\") for device %s was not stopped during %lu milliseconds and will be terminated!";

}  // namespace

CBaseThread::~CBaseThread()
{
    StopThread(2000);
}

bool CBaseThread::Start(const std::string& name)
{
    m_stopEvent.Reset();
    if (IsRunning())
        return false;
    m_thread.Join(kInfiniteWait);  // a finished thread: collect it
    m_name = name;
    const bool started = m_thread.Start([this] {
        CStopScope scope([this] { return IsStopRequested(); });
        try {
            Run();
        } catch (...) {
        }
    });
    m_threadId = started ? m_thread.Id() : 0;
    return started;
}

bool CBaseThread::Finish(uint32_t timeoutMs, const char* operation, const char* overdueFormat, bool reportLateEnd)
{
    m_stopEvent.Set();
    if (!m_thread.IsAttached())
        return true;
    if (m_thread.IsCurrent())
        return false;
    if (m_thread.Join(timeoutMs))
        return true;
    if (m_owner != nullptr)
        m_owner->DebugMessage(2, overdueFormat, operation, m_threadId, m_name.c_str(), m_owner->GetDeviceName(),
                              static_cast<unsigned long>(timeoutMs));
    m_thread.Join(kInfiniteWait);
    if (reportLateEnd && m_owner != nullptr)
        m_owner->DebugMessage(3, "%s: Thread (id=%u, name=\"%s\") was stopped correctly", operation, m_threadId,
                              m_name.c_str());
    return true;
}

bool CBaseThread::JoinThread(uint32_t timeoutMs)
{
    return Finish(timeoutMs, "korvane::CBaseThread::JoinThread", kOverdueJoin, true);
}

bool CBaseThread::StopThread(uint32_t timeoutMs)
{
    return Finish(timeoutMs, "korvane::CBaseThread::StopThread", kOverdueStop, false);
}

bool CTickThread::StartTicking(const std::string& name)
{
    m_tickAtStart = true;
    return Start(name);
}

bool CTickThread::Run()
{
    if (m_tickAtStart)
        OnTick();
    for (;;) {
        if (m_stopEvent.Wait(m_tickPeriodMs))
            return true;
        OnTick();
    }
}

}  // namespace korvane
