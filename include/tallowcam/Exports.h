#pragma once
// The plug-in's exported entry points.
#include "tallowcam/HostInterfaces.h"

#ifdef _WIN32
#define TALLOWCAM_EXPORT extern "C"  // exported by the module-definition file
#else
#define TALLOWCAM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// One factory under six names: a new driver, or null. Neither it nor the deleter throws.
TALLOWCAM_EXPORT korvane::ipcapture::IIPCaptureDriverEx5* CreateIPCapture() noexcept;
TALLOWCAM_EXPORT korvane::ipcapture::IIPCaptureDriverEx5* CreateIPCaptureEx() noexcept;
TALLOWCAM_EXPORT korvane::ipcapture::IIPCaptureDriverEx5* CreateIPCaptureEx2() noexcept;
TALLOWCAM_EXPORT korvane::ipcapture::IIPCaptureDriverEx5* CreateIPCaptureEx3() noexcept;
TALLOWCAM_EXPORT korvane::ipcapture::IIPCaptureDriverEx5* CreateIPCaptureEx4() noexcept;
TALLOWCAM_EXPORT korvane::ipcapture::IIPCaptureDriverEx5* CreateIPCaptureEx5() noexcept;

// One deleter under eight names: destroys a driver (or a capability query
// module); nothing happens for null.
TALLOWCAM_EXPORT void DeleteIPCapture(korvane::ipcapture::IPluginObject* object) noexcept;
TALLOWCAM_EXPORT void DeleteIPCaptureEx(korvane::ipcapture::IPluginObject* object) noexcept;
TALLOWCAM_EXPORT void DeleteIPCaptureEx2(korvane::ipcapture::IPluginObject* object) noexcept;
TALLOWCAM_EXPORT void DeleteIPCaptureEx3(korvane::ipcapture::IPluginObject* object) noexcept;
TALLOWCAM_EXPORT void DeleteIPCaptureEx4(korvane::ipcapture::IPluginObject* object) noexcept;
TALLOWCAM_EXPORT void DeleteIPCaptureEx5(korvane::ipcapture::IPluginObject* object) noexcept;
TALLOWCAM_EXPORT void DeleteCapabilityQueryModule(korvane::ipcapture::IPluginObject* object) noexcept;
