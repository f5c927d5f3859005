#include "tallowcam/Exports.h"

#include "driver/plugin/TallowcamDriver.h"

using korvane::ipcapture::IIPCaptureDriverEx5;
using korvane::ipcapture::IPluginObject;

IIPCaptureDriverEx5* CreateIPCapture()
{
    try {
        return new korvane::CTallowcamDriver();
    } catch (...) {
        return nullptr;
    }
}

void DeleteIPCapture(IPluginObject* object)
{
    korvane::ipcapture::DeleteThroughInterface(object);
}

// Every version of the factory and the deleter does the same.
IIPCaptureDriverEx5* CreateIPCaptureEx() { return CreateIPCapture(); }
IIPCaptureDriverEx5* CreateIPCaptureEx2() { return CreateIPCapture(); }
IIPCaptureDriverEx5* CreateIPCaptureEx3() { return CreateIPCapture(); }
IIPCaptureDriverEx5* CreateIPCaptureEx4() { return CreateIPCapture(); }
IIPCaptureDriverEx5* CreateIPCaptureEx5() { return CreateIPCapture(); }

void DeleteIPCaptureEx(IPluginObject* object) { DeleteIPCapture(object); }
void DeleteIPCaptureEx2(IPluginObject* object) { DeleteIPCapture(object); }
void DeleteIPCaptureEx3(IPluginObject* object) { DeleteIPCapture(object); }
void DeleteIPCaptureEx4(IPluginObject* object) { DeleteIPCapture(object); }
void DeleteIPCaptureEx5(IPluginObject* object) { DeleteIPCapture(object); }
void DeleteCapabilityQueryModule(IPluginObject* object) { DeleteIPCapture(object); }
