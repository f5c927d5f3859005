#pragma once
// The camera side of a channel's preset list; it logs through the driver.
#include <string>
#include <vector>

#include "driver/IDriver.h"

namespace korvane {

// One preset: the camera's token and the name the host sees.
struct PREPOSITION {
    std::string token;
    std::string name;

    bool IsComplete() const { return !token.empty() && !name.empty(); }
};

class IPrepositionComm : public virtual IDebugMessage {
public:
    // Stores the camera's position under the entry's name; a new preset (empty
    // token) gets the token the camera returned.
    virtual bool SendCommand_SetPreposition(PREPOSITION& entry) = 0;
    // speed: the host's speed (1 slowest to 16 fastest).
    virtual bool SendCommand_MoveToPreposition(const PREPOSITION& entry, int32_t speed) = 0;
    virtual bool SendCommand_DeletePreposition(const PREPOSITION& entry) = 0;
    virtual bool SendCommand_LoadPrepositions(std::vector<PREPOSITION>& entries) = 0;
};

}  // namespace korvane
