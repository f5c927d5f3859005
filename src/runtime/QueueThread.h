#pragma once
// Work-queue thread: items are handled one at a time, in order, on the
// queue's own thread. A limit N keeps at most N items by dropping the oldest.
// Derived classes call Stop() in their destructors, before their members go.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "runtime/BaseThread.h"
#include "runtime/RecursiveLock.h"

namespace korvane {

template <typename T>
class CQueueThread : private CBaseThread {
public:
    explicit CQueueThread(IDebugMessage* owner = nullptr) : CBaseThread(owner) {}
    ~CQueueThread() override
    {
        JoinThread(5000);
        Clear();
    }

    bool Start(const std::string& name) override
    {
        m_wakeEvent.Reset();
        return CBaseThread::Start(name);
    }

    // Sets the stop event, discards the queue and waits for the thread.
    virtual bool Stop()
    {
        m_stopEvent.Set();
        Clear();
        return JoinThread(5000);
    }

    // Queues the item; false (and the item is dropped) once a stop was requested.
    bool AddItem(std::unique_ptr<T> item, uint32_t limit)
    {
        if (IsStopRequested())
            return false;
        CAutoLock guard(m_queueLock);
        if (limit != 0)
            while (m_queue.size() >= limit)
                m_queue.pop_front();
        m_queue.push_back(std::move(item));
        m_wakeEvent.Set();
        return true;
    }

    size_t QueuedCount() const
    {
        CAutoLock guard(m_queueLock);
        return m_queue.size();
    }

    using CBaseThread::GetThreadId;
    using CBaseThread::IsRunning;
    using CBaseThread::IsStopRequested;

protected:
    using CBaseThread::GetOwner;
    using CBaseThread::m_stopEvent;

    virtual void HandleWorkItem(T& item) = 0;

    bool Run() override
    {
        CEvent* events[] = {&m_stopEvent, &m_wakeEvent};
        while (!IsStopRequested()) {
            if (WaitAny(events, 2, 1000) != 1)
                continue;
            for (std::unique_ptr<T> item = TakeOldest(); item; item = TakeOldest()) {
                if (IsStopRequested())
                    break;
                try {
                    HandleWorkItem(*item);
                } catch (...) {
                }
            }
        }
        return true;
    }

private:
    std::unique_ptr<T> TakeOldest()
    {
        CAutoLock guard(m_queueLock);
        if (m_queue.empty())
            return nullptr;
        std::unique_ptr<T> item = std::move(m_queue.front());
        m_queue.pop_front();
        return item;
    }

    void Clear()
    {
        CAutoLock guard(m_queueLock);
        m_queue.clear();
    }

    CEvent m_wakeEvent{false};
    mutable CRecursiveLock m_queueLock;
    std::deque<std::unique_ptr<T>> m_queue;
};

}  // namespace korvane
