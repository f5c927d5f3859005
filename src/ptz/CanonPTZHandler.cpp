#include "ptz/CanonPTZHandler.h"

#include "ptz/CanonPTZControl.h"

namespace korvane {

std::unique_ptr<CBasePTZControl> CCanonPTZHandler::CreatePTZControl(uint32_t channel)
{
    return std::make_unique<CCanonPTZControl>(Driver(), channel);
}

}  // namespace korvane
