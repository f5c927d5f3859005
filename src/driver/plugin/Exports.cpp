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

// Every version of the factory and the deleter is the same function; neither throws.
#define TALLOWCAM_ALIAS(target) __attribute__((alias(#target), nothrow))

IIPCaptureDriverEx5* CreateIPCaptureEx() TALLOWCAM_ALIAS(CreateIPCapture);
IIPCaptureDriverEx5* CreateIPCaptureEx2() TALLOWCAM_ALIAS(CreateIPCapture);
IIPCaptureDriverEx5* CreateIPCaptureEx3() TALLOWCAM_ALIAS(CreateIPCapture);
IIPCaptureDriverEx5* CreateIPCaptureEx4() TALLOWCAM_ALIAS(CreateIPCapture);
IIPCaptureDriverEx5* CreateIPCaptureEx5() TALLOWCAM_ALIAS(CreateIPCapture);

void DeleteIPCaptureEx(IPluginObject* object) TALLOWCAM_ALIAS(DeleteIPCapture);
void DeleteIPCaptureEx2(IPluginObject* object) TALLOWCAM_ALIAS(DeleteIPCapture);
void DeleteIPCaptureEx3(IPluginObject* object) TALLOWCAM_ALIAS(DeleteIPCapture);
void DeleteIPCaptureEx4(IPluginObject* object) TALLOWCAM_ALIAS(DeleteIPCapture);
void DeleteIPCaptureEx5(IPluginObject* object) TALLOWCAM_ALIAS(DeleteIPCapture);
void DeleteCapabilityQueryModule(IPluginObject* object) TALLOWCAM_ALIAS(DeleteIPCapture);
