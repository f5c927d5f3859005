#pragma once
// The host's digital I/O object: an input thread polls the inputs every 2 s
// and reports each change, an output thread carries output commands to the
// camera one by one and skips those that change nothing. A failed camera
// exchange resets both state tables, so everything is reported and written
// anew once the camera answers again.
#include <atomic>
#include <cstdint>
#include <map>

#include "events/IOThreads.h"
#include "runtime/RecursiveLock.h"
#include "tallowcam/IOInterfaces.h"

namespace korvane {

class IDriver;

class CIOBase : public ICaptureIOApi {
public:
    explicit CIOBase(IDriver* driver);
    // A derived class whose members the threads use calls StopIO() in its own destructor.
    virtual ~CIOBase();
    TALLOWCAM_DELETING_DESTRUCTOR
    CIOBase(const CIOBase&) = delete;
    CIOBase& operator=(const CIOBase&) = delete;

    bool SetEventSink(ipcapture::IIOEventSink* sink) override;
    bool StartIO() override;
    bool StopIO() override;
    uint32_t GetInputCount() override;
    uint32_t GetOutputCount() override;
    // Queues the command; false once the output thread is stopping.
    bool SetOutputState(uint32_t index, uint32_t state) override;

    // On the output thread: writes the state unless the output already has it
    // or the camera has no such output.
    virtual void UpdateOutput(uint32_t index, uint32_t state);

protected:
    // Camera index = host index + 1. True when the camera took the command.
    virtual bool WriteOutput(uint32_t index, uint32_t state) = 0;
    // Reads the first count inputs and passes each to UpdateInput; false when the camera did not answer.
    virtual bool ReadInputs(uint32_t count) = 0;
    // Ends camera requests in progress, so that a stop need not wait for them.
    virtual void AbortRequests() = 0;

    // Reports the state to the host unless the input already has it.
    void UpdateInput(uint32_t index, uint32_t state);

    IDriver* m_driver;

private:
    void GetInputStatesWrapper();
    void SetOutputStateWrapper(uint32_t index, uint32_t state);
    // Every known input and output back to state 0.
    void ResetTables();
    void ReportIOError();

    TTickThread<CIOBase> m_inputThread;
    TOutputHandler<CIOBase> m_outputThread;
    std::atomic<ipcapture::IIOEventSink*> m_eventSink{nullptr};
    CRecursiveLock m_tablesLock;  // both tables; never held across a camera request or a host call
    std::map<uint32_t, uint32_t> m_outputStates;
    std::map<uint32_t, uint32_t> m_inputStates;
    bool m_logInputFailure = true;   // input thread only
    bool m_logOutputFailure = true;  // output thread only
};

}  // namespace korvane
