#pragma once
// Pan/tilt/zoom interfaces between the host and the driver. The order of the
// virtual operations of every interface is a fixed contract: do not reorder.
#include <cstdint>

#include "tallowcam/InterfaceLayout.h"

namespace korvane {

// Results of the PTZ operations.
enum : int32_t {
    kPtzSuccess = 1,
    kPtzInvalidArgument = -3,  // also: buffer too small
    kPtzFailure = -18,         // channel not open, or the command cannot be queued
    kPtzNotSupported = -19,    // the camera's capabilities do not allow it
    kPtzPresetFailure = -23,   // preset not found, or the preset operation failed
    kPtzPresetLimit = -26,     // the camera stores no more presets
};

// Directions of StartMove.
enum : int32_t {
    kPtzMoveLeft = 0,
    kPtzMoveRight = 1,
    kPtzMoveUp = 2,
    kPtzMoveDown = 3,
    kPtzMoveUpLeft = 4,
    kPtzMoveUpRight = 5,
    kPtzMoveDownLeft = 6,
    kPtzMoveDownRight = 7,
    kPtzZoomTele = 8,
    kPtzZoomWide = 9,
    kPtzMoveInvalid = 10,
};

// Filled by GetCapabilities; flags are 1 or 0.
struct PTZ_CAPABILITIES {
    uint32_t hostField;  // set by the host, left alone by the driver
    uint32_t pan;
    uint32_t tilt;
    uint32_t zoom;
    uint32_t focus;
    uint32_t iris;
    uint32_t reserved6;
    uint32_t maxPresets;
    uint32_t presetCount;
    uint32_t reserved9;
    uint32_t reserved10;
    uint32_t areaZoom;
    uint32_t center;
    uint32_t unzoom;
};

// One PTZ channel. Motion commands are queued and return at once.
class IIPPTZApi {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IIPPTZApi)
    virtual int32_t IsPTZSupported() = 0;
    virtual int32_t StartMove(int32_t direction, uint32_t speed) = 0;
    // Stops every motion started since the last stop.
    virtual int32_t Stop() = 0;
    // x, y in pixels of the video picture.
    virtual int32_t Center(uint32_t x, uint32_t y, uint32_t speed) = 0;
    virtual int32_t ZoomIn(uint32_t speed) = 0;
    virtual int32_t ZoomOut(uint32_t speed) = 0;
    virtual int32_t Unzoom(uint32_t speed) = 0;
    virtual int32_t AreaZoom(uint32_t x, uint32_t y, uint32_t zoom, uint32_t speed) = 0;
    virtual int32_t FocusNear(uint32_t speed) = 0;
    virtual int32_t FocusFar(uint32_t speed) = 0;
    virtual int32_t IrisPlus(uint32_t speed) = 0;
    virtual int32_t IrisMinus(uint32_t speed) = 0;
    virtual int32_t GetCapabilities(PTZ_CAPABILITIES* capabilities) = 0;
    virtual int32_t GetPrepositionCount() = 0;
    virtual int32_t GetPrepositionName(int32_t index, char* buffer, uint32_t bufferSize) = 0;
    virtual int32_t MoveToPreposition(int32_t speed, const char* name) = 0;
    virtual int32_t SetPreposition(const char* name) = 0;
    virtual int32_t DeletePreposition(const char* name) = 0;
    virtual int32_t GetCurrentPreposition(char* buffer, uint32_t bufferSize) = 0;
};

class IIPPTZApiEx : public IIPPTZApi {
public:
    virtual uint32_t QueryExtension(uint32_t value) = 0;
};

// The driver's PTZ side: one API per channel, owned by the driver.
class IIPPTZDriver {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IIPPTZDriver)
    // Null for a channel that does not exist or cannot be opened.
    virtual IIPPTZApi* GetPTZApi(uint32_t channel) = 0;
};

class IIPPTZDriverEx : public IIPPTZDriver {
public:
    IIPPTZApi* GetPTZApi(uint32_t channel) override { return GetPTZApiEx(channel); }
    virtual IIPPTZApiEx* GetPTZApiEx(uint32_t channel) = 0;
};

}  // namespace korvane
