#pragma once
// The plug-in's capability query entry points: an object style (create, use,
// DeleteCapabilityQueryModule) and one global module driven by plain functions.
#include <cstdint>

#include "tallowcam/CapabilityQuery.h"
#include "tallowcam/Exports.h"

// A new module reporting to callback; videoStandard 0 for 25 frames per second
// cameras, nonzero for 30. Null when allocation fails.
TALLOWCAM_EXPORT korvane::ipcapture::IIPCapabilityQuery* CreateCapabilityQueryModule(
    korvane::ipcapture::ICapabilityCallback* callback, uint32_t videoStandard);

// Creates the global module: 1, or 0 when it already exists.
TALLOWCAM_EXPORT int InitCapabilityQuery(korvane::ipcapture::ICapabilityCallback* callback, uint32_t videoStandard);
// The global module's Start (1 or 0); 0 when address, user name or password is
// null or there is no global module.
TALLOWCAM_EXPORT int StartCapabilityQuery(const char* address, uint16_t port, const char* userName,
                                          const char* password, korvane::ipcapture::ICapabilityResult* result);
// Terminates the global module's query; 1.
TALLOWCAM_EXPORT int TerminateCapabilityQuery();
// Deletes the global module; 1.
TALLOWCAM_EXPORT int UninitCapabilityQuery();
