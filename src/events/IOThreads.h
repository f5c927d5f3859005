#pragma once
// The two worker threads of an I/O object: a periodic thread and an output
// command queue, each handing its work to a member operation of its owner.
#include <cstdint>

#include "runtime/BaseThread.h"
#include "runtime/QueueThread.h"

namespace korvane {

// One queued output command.
class COutputState {
public:
    COutputState(uint32_t index, uint32_t state) : m_index(index), m_state(state) {}
    virtual ~COutputState() = default;

    uint32_t m_index;
    uint32_t m_state;
};

template <typename Owner>
class TTickThread : public CTickThread {
public:
    using Handler = void (Owner::*)();

    TTickThread(Owner& owner, Handler onTick, IDebugMessage* log) : CTickThread(log), m_owner(owner), m_onTick(onTick)
    {
    }
    ~TTickThread() override { StopTicking(); }

    // Asks the thread to end without waiting for it.
    void RequestStop() { m_stopEvent.Set(); }

protected:
    void OnTick() override { (m_owner.*m_onTick)(); }

private:
    Owner& m_owner;
    Handler m_onTick;
};

template <typename Owner>
class TOutputHandler : public CQueueThread<COutputState> {
public:
    using Handler = void (Owner::*)(uint32_t index, uint32_t state);

    TOutputHandler(Owner& owner, Handler onItem, IDebugMessage* log)
        : CQueueThread<COutputState>(log), m_owner(owner), m_onItem(onItem)
    {
    }
    ~TOutputHandler() override { Stop(); }

    // Asks the thread to end without waiting for it; no item is queued after this.
    void RequestStop() { m_stopEvent.Set(); }

protected:
    void HandleWorkItem(COutputState& item) override { (m_owner.*m_onItem)(item.m_index, item.m_state); }

private:
    Owner& m_owner;
    Handler m_onItem;
};

}  // namespace korvane
