#pragma once
// The camera side of a channel's preset list; it logs through the driver.
// The preset operations themselves come with the preset list.
#include "driver/IDriver.h"

namespace korvane {

class IPrepositionComm : public virtual IDebugMessage {
};

}  // namespace korvane
