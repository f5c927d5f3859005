#pragma once
// The simulated camera's pan/tilt/zoom head, changed by "/-wvhttp-01-/control.cgi"
// requests: running motions with their speeds, the position reached by
// relative moves ("pan=v+25"), focus and exposure modes, and the iris value
// (the model's "c.1.me.iris" item). It also keeps the presets (stored
// positions) that the ONVIF PTZ service stores, recalls and removes. Tests
// read it and can hold control requests to let commands pile up in a
// driver's queue.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "camsim/http/RequestLog.h"
#include "camsim/model/CameraModel.h"

namespace camsim {

struct PtzSnapshot {
    std::string panMotion = "stop";    // "left", "right" or "stop"
    std::string tiltMotion = "stop";   // "up", "down" or "stop"
    std::string zoomMotion = "stop";   // "tele", "wide" or "stop"
    std::string focusMotion = "stop";  // "near", "far" or "stop"
    int panSpeed = 0;                  // of the last motion started
    int tiltSpeed = 0;
    int zoomSpeed = 0;
    int panPosition = 0;  // sum of the relative pan moves
    int tiltPosition = 0;
    int zoomPercent = 100;  // magnification, multiplied by each relative zoom
    std::string focusMode = "auto";
    std::string exposureMode = "auto";
    uint32_t iris = 0;
};

// A stored position; the name may be empty.
struct PtzPreset {
    std::string token;
    std::string name;
    int panPosition = 0;
    int tiltPosition = 0;
    int zoomPercent = 100;
};

// The speed a recall asked for, as the request wrote it (empty parts missing).
struct PtzRecallSpeed {
    std::string panTiltX;
    std::string panTiltY;
    std::string panTiltSpace;
    std::string zoomX;
    std::string zoomSpace;
};

class PtzState {
public:
    explicit PtzState(CameraModel& model) : m_model(model) {}

    // Applies a control request; other requests pass untouched. While held,
    // a control request waits here (at most kHoldLimitMs) until released.
    void Observe(const RecordedRequest& request);

    PtzSnapshot Snapshot() const;
    void SetIris(uint32_t value);

    void HoldControlRequests();
    void ReleaseControlRequests();
    // True once count control requests wait at the hold within the time-out.
    bool WaitForHeldRequests(size_t count, uint32_t timeoutMs);

    // Stores the current position: under a new token when token is empty, else
    // over that preset. False for an unknown token.
    bool StorePreset(const std::string& name, std::string& token);
    // Moves to the preset; false for an unknown token.
    bool RecallPreset(const std::string& token, const PtzRecallSpeed& speed);
    bool RemovePreset(const std::string& token);
    std::vector<PtzPreset> Presets() const;
    // Every recall's speed, oldest first.
    std::vector<PtzRecallSpeed> RecallSpeeds() const;

    static constexpr uint32_t kHoldLimitMs = 3000;  // below the driver's request time-out

private:
    void Apply(const std::string& name, const std::string& value);
    void WaitWhileHeld();

    CameraModel& m_model;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    PtzSnapshot m_state;
    bool m_holding = false;
    size_t m_held = 0;
    std::vector<PtzPreset> m_presets;
    std::vector<PtzRecallSpeed> m_recallSpeeds;
    uint32_t m_presetsMade = 0;
};

}  // namespace camsim
