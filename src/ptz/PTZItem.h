#pragma once
// One queued PTZ command.
#include <cstdint>

class IIPParams;

namespace korvane {

enum : uint32_t {
    PTZ_CMD_MOVE = 1,
    PTZ_CMD_FOCUS = 2,
    PTZ_CMD_IRIS = 3,
    PTZ_CMD_STOP = 4,
    PTZ_CMD_AREAZOOM = 5,
    PTZ_CMD_CENTER = 6,
    PTZ_CMD_UNZOOM = 7,
};

// Subtypes: 0 for move, area zoom, centre and unzoom.
enum : uint32_t {
    PTZ_SUB_NONE = 0,
    PTZ_SUB_FOCUS_FAR = 1,
    PTZ_SUB_FOCUS_NEAR = 2,
    PTZ_SUB_IRIS_UP = 3,
    PTZ_SUB_IRIS_DOWN = 4,
    PTZ_SUB_STOP_PANTILT = 5,
    PTZ_SUB_STOP_ZOOM = 6,
    PTZ_SUB_STOP_FOCUS = 7,
    PTZ_SUB_STOP_IRIS = 8,
};

class CPTZItem {
public:
    CPTZItem(uint32_t type, uint32_t subtype, IIPParams* params, uint32_t speed, int32_t arg1 = 0, int32_t arg2 = 0,
             int32_t arg3 = 0)
        : m_type(type), m_subtype(subtype), m_params(params), m_speed(speed), m_arg1(arg1), m_arg2(arg2), m_arg3(arg3)
    {
    }
    virtual ~CPTZItem() = default;

    uint32_t m_type;
    uint32_t m_subtype;
    IIPParams* m_params;  // the channel control that posted the command
    uint32_t m_speed;     // host speed, 0 where the call has none
    int32_t m_arg1;       // move direction; x of centre and area zoom
    int32_t m_arg2;       // y of centre and area zoom
    int32_t m_arg3;       // zoom value of area zoom
};

}  // namespace korvane
