#include "camsim/ptz/PtzState.h"

#include <algorithm>
#include <chrono>

namespace camsim {

namespace {

constexpr char kControlPath[] = "/-wvhttp-01-/control.cgi";
constexpr char kIrisItem[] = "c.1.me.iris";

// "v+25" -> 25; false for an absolute value.
bool RelativeValue(const std::string& value, int& relative)
{
    if (value.size() < 2 || value[0] != 'v')
        return false;
    try {
        relative = std::stoi(value.substr(1));
        return true;
    } catch (...) {
        return false;
    }
}

int NumberOr(const std::string& text, int fallback)
{
    try {
        return std::stoi(text);
    } catch (...) {
        return fallback;
    }
}

}  // namespace

void PtzState::Observe(const RecordedRequest& request)
{
    if (request.method != "GET" || request.Path() != kControlPath)
        return;
    WaitWhileHeld();
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& [name, value] : SplitQuery(request.Query()))
        Apply(name, value);
}

void PtzState::Apply(const std::string& name, const std::string& value)
{
    int relative = 0;
    if (name == "pan") {
        if (RelativeValue(value, relative))
            m_state.panPosition += relative;
        else
            m_state.panMotion = value;
    } else if (name == "tilt") {
        if (RelativeValue(value, relative))
            m_state.tiltPosition += relative;
        else
            m_state.tiltMotion = value;
    } else if (name == "zoom") {
        if (RelativeValue(value, relative))
            m_state.zoomPercent = m_state.zoomPercent * relative / 100;
        else
            m_state.zoomMotion = value;
    } else if (name == "pan.speed.dir") {
        m_state.panSpeed = NumberOr(value, m_state.panSpeed);
    } else if (name == "tilt.speed.dir") {
        m_state.tiltSpeed = NumberOr(value, m_state.tiltSpeed);
    } else if (name == "zoom.speed.dir") {
        m_state.zoomSpeed = NumberOr(value, m_state.zoomSpeed);
    } else if (name == "focus") {
        if (value == "manual" || value == "auto")
            m_state.focusMode = value;
        else
            m_state.focusMotion = value;
    } else if (name == "exp") {
        m_state.exposureMode = value;
    }
    // The iris item itself is kept by the model, which control requests update.
}

PtzSnapshot PtzState::Snapshot() const
{
    PtzSnapshot snapshot;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        snapshot = m_state;
    }
    snapshot.iris = static_cast<uint32_t>(NumberOr(m_model.Info(kIrisItem), 0));
    return snapshot;
}

void PtzState::SetIris(uint32_t value)
{
    m_model.SetInfo(kIrisItem, std::to_string(value));
}

bool PtzState::StorePreset(const std::string& name, std::string& token)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    PtzPreset preset{token, name, m_state.panPosition, m_state.tiltPosition, m_state.zoomPercent};
    if (token.empty()) {
        preset.token = token = "preset" + std::to_string(++m_presetsMade);
        m_presets.push_back(preset);
        return true;
    }
    auto stored = std::find_if(m_presets.begin(), m_presets.end(),
                               [&token](const PtzPreset& existing) { return existing.token == token; });
    if (stored == m_presets.end())
        return false;
    *stored = preset;
    return true;
}

bool PtzState::RecallPreset(const std::string& token, const PtzRecallSpeed& speed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto stored = std::find_if(m_presets.begin(), m_presets.end(),
                               [&token](const PtzPreset& existing) { return existing.token == token; });
    if (stored == m_presets.end())
        return false;
    m_state.panPosition = stored->panPosition;
    m_state.tiltPosition = stored->tiltPosition;
    m_state.zoomPercent = stored->zoomPercent;
    m_recallSpeeds.push_back(speed);
    return true;
}

bool PtzState::RemovePreset(const std::string& token)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto removed = std::remove_if(m_presets.begin(), m_presets.end(),
                                        [&token](const PtzPreset& existing) { return existing.token == token; });
    const bool any = removed != m_presets.end();
    m_presets.erase(removed, m_presets.end());
    return any;
}

std::vector<PtzPreset> PtzState::Presets() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_presets;
}

std::vector<PtzRecallSpeed> PtzState::RecallSpeeds() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_recallSpeeds;
}

void PtzState::HoldControlRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_holding = true;
}

void PtzState::ReleaseControlRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_holding = false;
    m_changed.notify_all();
}

bool PtzState::WaitForHeldRequests(size_t count, uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_held >= count; });
}

void PtzState::WaitWhileHeld()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_holding)
        return;
    ++m_held;
    m_changed.notify_all();
    m_changed.wait_for(lock, std::chrono::milliseconds(kHoldLimitMs), [&] { return !m_holding; });
    --m_held;
}

}  // namespace camsim
