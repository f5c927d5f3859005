#pragma once
// The simulated camera's motion detection areas ("r.count", "r.N", "r.N.type")
// and its digital inputs ("i.N") and outputs ("o.N"), kept as information items
// of the camera model. Tests change them while the servers run; output
// commands ("control.cgi?o.N=1") change the outputs.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "camsim/model/CameraModel.h"

namespace camsim {

struct MotionArea {
    uint32_t type = 1;  // 1: motion detection; other types never count as motion
    bool active = false;
};

class EventItems {
public:
    explicit EventItems(CameraModel& model) : m_model(model) {}

    // Replaces every area; an empty list answers "r.count:=0".
    void SetMotionAreas(const std::vector<MotionArea>& areas);
    // Area numbers count from 1.
    void SetMotionActive(uint32_t number, bool active);
    // Replies then carry the areas without "r.count".
    void RemoveMotionAreaCount();

    // Input numbers count from 1; the value as the camera reports it ("1", "0", "01" ...).
    void SetInput(uint32_t number, const std::string& value);
    // "1" while the output is switched on, "0" while off; empty for an output the camera lacks.
    std::string Output(uint32_t number) const;

private:
    CameraModel& m_model;
    std::mutex m_mutex;
    uint32_t m_areaCount = 0;
};

}  // namespace camsim
