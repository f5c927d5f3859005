#pragma once
// A PTZ channel's cached view of the camera's focus and exposure modes, reached
// by the commands its worker thread executes. The setters send nothing.
#include <cstdint>

class IIPParams {
public:
    virtual ~IIPParams() = default;
    virtual uint32_t GetChannel() = 0;
    virtual bool GetManualIris() = 0;
    virtual void SetManualIris(bool manual) = 0;
    virtual bool GetManualFocus() = 0;
    virtual void SetManualFocus(bool manual) = 0;
};
