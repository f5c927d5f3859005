#pragma once
// Digital (alarm) inputs and outputs between the host and the driver. The
// order of the virtual operations of every interface is a fixed contract: do
// not reorder.
#include <cstdint>

#include "tallowcam/InterfaceLayout.h"

namespace korvane {

// I/O states as exchanged with the host. Indexes count from 0.
enum : uint32_t {
    kIOStateUnknown = 0,  // the value after a reset
    kIOStateOff = 1,      // inactive
    kIOStateOn = 2,       // active
};

namespace ipcapture {

// Told the input changes; called on the driver's threads.
class IIOEventSink {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IIOEventSink)
    virtual void OnInputChanged(uint32_t index, uint32_t state) = 0;
    // The camera did not answer an input poll or an output command.
    virtual void OnIOError() = 0;
};

}  // namespace ipcapture

class ICaptureIOApi {
    TALLOWCAM_INTERFACE_DESTRUCTOR(ICaptureIOApi)
    // False (and nothing stored) for null.
    virtual bool SetEventSink(ipcapture::IIOEventSink* sink) = 0;
    virtual bool StartIO() = 0;
    virtual bool StopIO() = 0;
    virtual uint32_t GetInputCount() = 0;
    virtual uint32_t GetOutputCount() = 0;
    // Queues an output command; true when queued.
    virtual bool SetOutputState(uint32_t index, uint32_t state) = 0;
};

}  // namespace korvane
