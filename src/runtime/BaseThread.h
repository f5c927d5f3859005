#pragma once
// Thread base with a stop event and a bounded stop; periodic thread.
#include <cstdint>
#include <string>

#include "platform/Thread.h"
#include "runtime/Events.h"

namespace korvane {

class IDebugMessage;

class CBaseThread {
public:
    explicit CBaseThread(IDebugMessage* owner = nullptr) : m_owner(owner) {}
    virtual ~CBaseThread();
    CBaseThread(const CBaseThread&) = delete;
    CBaseThread& operator=(const CBaseThread&) = delete;

    // False when the thread still runs or cannot be created.
    virtual bool Start(const std::string& name);
    // Sets the stop event and waits for the thread; past the time-out it logs
    // and keeps waiting. False only when called on the thread itself.
    virtual bool JoinThread(uint32_t timeoutMs);
    // As JoinThread, with the "will be terminated" line past the time-out. A
    // thread is never terminated forcibly here: it is waited for.
    virtual bool StopThread(uint32_t timeoutMs);

    bool IsRunning() const { return m_thread.IsAttached() && !m_thread.HasEnded(); }
    bool IsStopRequested() const { return m_stopEvent.IsSet(); }
    uint32_t GetThreadId() const { return m_threadId; }
    const std::string& GetThreadName() const { return m_name; }

protected:
    virtual bool Run() = 0;

    void SetOwner(IDebugMessage* owner) { m_owner = owner; }
    IDebugMessage* GetOwner() const { return m_owner; }

    CManualEvent m_stopEvent;

private:
    bool Finish(uint32_t timeoutMs, const char* operation, const char* overdueFormat, bool reportLateEnd);

    std::string m_name;
    platform::Thread m_thread;
    uint32_t m_threadId = 0;
    IDebugMessage* m_owner;
};

class CTickThread : public CBaseThread {
public:
    using CBaseThread::CBaseThread;

    bool StartTicking(const std::string& name);
    bool StopTicking() { return StopThread(5000); }

    void SetTickPeriod(uint32_t ms) { m_tickPeriodMs = ms; }
    uint32_t GetTickPeriod() const { return m_tickPeriodMs; }

protected:
    bool Run() override;
    virtual void OnTick() = 0;

private:
    uint32_t m_tickPeriodMs = 2000;
    bool m_tickAtStart = false;
};

}  // namespace korvane
