#include "camsim/model/EventItems.h"

namespace camsim {

namespace {

std::string AreaKey(uint32_t number)
{
    return "r." + std::to_string(number);
}

}  // namespace

void EventItems::SetMotionAreas(const std::vector<MotionArea>& areas)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (uint32_t number = 1; number <= m_areaCount; ++number) {
        m_model.RemoveInfo(AreaKey(number));
        m_model.RemoveInfo(AreaKey(number) + ".type");
    }
    m_areaCount = static_cast<uint32_t>(areas.size());
    m_model.SetInfo("r.count", std::to_string(m_areaCount));
    for (uint32_t number = 1; number <= m_areaCount; ++number) {
        m_model.SetInfo(AreaKey(number), areas[number - 1].active ? "1" : "0");
        m_model.SetInfo(AreaKey(number) + ".type", std::to_string(areas[number - 1].type));
    }
}

void EventItems::SetMotionActive(uint32_t number, bool active)
{
    m_model.SetInfo(AreaKey(number), active ? "1" : "0");
}

void EventItems::RemoveMotionAreaCount()
{
    m_model.RemoveInfo("r.count");
}

void EventItems::SetInput(uint32_t number, const std::string& value)
{
    m_model.SetInfo("i." + std::to_string(number), value);
}

std::string EventItems::Output(uint32_t number) const
{
    return m_model.Info("o." + std::to_string(number));
}

}  // namespace camsim
