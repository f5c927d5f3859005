#include "tallowcam/Exports.h"

#include "driver/plugin/TallowcamDriver.h"

using korvane::ipcapture::IIPCaptureDriverEx5;
using korvane::ipcapture::IPluginObject;

IIPCaptureDriverEx5* CreateIPCapture() noexcept
{
    try {
        return new korvane::CTallowcamDriver();
    } catch (...) {
        return nullptr;
    }
}

void DeleteIPCapture(IPluginObject* object) noexcept
{
    korvane::ipcapture::DeleteThroughInterface(object);
}

// Every version of the factory and the deleter is the same function.
#define TALLOWCAM_ALIAS(target) __attribute__((alias(#target)))

IIPCaptureDriverEx5* CreateIPCaptureEx() noexcept TALLOWCAM_ALIAS(CreateIPCapture);
IIPCaptureDriverEx5* CreateIPCaptureEx2() noexcept TALLOWCAM_ALIAS(CreateIPCapture);
IIPCaptureDriverEx5* CreateIPCaptureEx3() noexcept TALLOWCAM_ALIAS(CreateIPCapture);
IIPCaptureDriverEx5* CreateIPCaptureEx4() noexcept TALLOWCAM_ALIAS(CreateIPCapture);
IIPCaptureDriverEx5* CreateIPCaptureEx5() noexcept TALLOWCAM_ALIAS(CreateIPCapture);

void DeleteIPCaptureEx(IPluginObject* object) noexcept TALLOWCAM_ALIAS(DeleteIPCapture);
void DeleteIPCaptureEx2(IPluginObject* object) noexcept TALLOWCAM_ALIAS(DeleteIPCapture);
void DeleteIPCaptureEx3(IPluginObject* object) noexcept TALLOWCAM_ALIAS(DeleteIPCapture);
void DeleteIPCaptureEx4(IPluginObject* object) noexcept TALLOWCAM_ALIAS(DeleteIPCapture);
void DeleteIPCaptureEx5(IPluginObject* object) noexcept TALLOWCAM_ALIAS(DeleteIPCapture);
void DeleteCapabilityQueryModule(IPluginObject* object) noexcept TALLOWCAM_ALIAS(DeleteIPCapture);
