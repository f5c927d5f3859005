#pragma once
// The capability query: the host's configuration tools ask what a camera
// offers. The order of the virtual operations of every interface is a fixed
// contract with the host: do not reorder. Operations named ReservedN stand for
// slots the driver never calls.
#include <cstdint>

#include "tallowcam/HostInterfaces.h"
#include "tallowcam/InterfaceLayout.h"

namespace korvane::ipcapture {

// Failure status handed to ICapabilityCallback::OnFailed.
enum : uint32_t {
    kCapabilityStatusNotFound = 0,      // a URL was not found on the camera
    kCapabilityStatusCredentials = 1,   // the camera refused the credentials
    kCapabilityStatusUnreachable = 2,   // the camera is offline or unreachable
    kCapabilityStatusOther = 3,         // any other failure
};

// Kinds of a numbered parameter.
enum : uint32_t {
    kParameterKindNumber = 0,
    kParameterKindText = 1,
};

// A text field of the host's result object (connection fields).
class ICapabilityField {
    TALLOWCAM_INTERFACE_DESTRUCTOR(ICapabilityField)
    virtual void SetText(const char* text) = 0;
};

class IResolutionList {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IResolutionList)
    // text is "<width>x<height>"; frameValue in the host's frame-rate encoding.
    virtual void Add(const char* text, uint32_t width, uint32_t height, uint32_t frameValue) = 0;
};

class IFrameRateList {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IFrameRateList)
    virtual void Reserved1() {}
    virtual void Add(uint32_t frameValue) = 0;
};

// One numbered parameter of the device; the host hands it back to the driver
// through IDriverParams::GetParameter.
class ICapabilityParameter {
    TALLOWCAM_INTERFACE_DESTRUCTOR(ICapabilityParameter)
    virtual void SetValue(const char* value) = 0;
    virtual void Reserved2() {}
    virtual void Reserved3() {}
    virtual void SetKind(uint32_t kind) = 0;
    virtual void SetName(const char* name) = 0;
    virtual void SetAttribute(uint32_t attribute) = 0;  // always given 0
};

// Receives what the query found.
class ICapabilityResult {
    TALLOWCAM_INTERFACE_DESTRUCTOR(ICapabilityResult)
    virtual void SetValue(uint32_t capabilityId, uint32_t value) = 0;
    virtual void SetDeviceName(const char* name) = 0;
    // Fields 1-4: address, port, user name, password.
    virtual ICapabilityField* GetConnectionField(uint32_t index) = 0;
    virtual void Reserved4() {}
    virtual ICapabilityParameter* AddParameter(uint32_t number) = 0;
    virtual IResolutionList* GetResolutionList() = 0;
    virtual void Reserved7() {}
    virtual IFrameRateList* GetFrameRateList(uint32_t group) = 0;
};

// Told how a query ended; called on the query's worker thread.
class ICapabilityCallback {
    TALLOWCAM_INTERFACE_DESTRUCTOR(ICapabilityCallback)
    virtual void Reserved1() {}
    virtual void OnCompleted() = 0;
    virtual void OnFailed(uint32_t status, const char* message) = 0;
    // The worker did not end within the time-out of Terminate.
    virtual void OnTimeout() = 0;
};

// A capability query module; deleted through DeleteCapabilityQueryModule.
class IIPCapabilityQuery : public IPluginObject {
public:
    // Starts reading the camera on a worker thread; the outcome reaches the
    // module's callback. False when a query still runs, an argument is missing
    // or the worker cannot be started.
    virtual bool Start(const char* address, uint16_t port, const char* userName, const char* password,
                       ICapabilityResult* result) = 0;
    // Aborts a running query and waits for its worker, bounded.
    virtual void Terminate() = 0;
};

}  // namespace korvane::ipcapture
