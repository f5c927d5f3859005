#pragma once
// The PTZ handler of the Canon driver: its channels are Canon PTZ controls.
#include "ptz/BasePTZHandler.h"

namespace korvane {

class CCanonPTZHandler : public CBasePTZHandler {
public:
    using CBasePTZHandler::CBasePTZHandler;

    std::unique_ptr<CBasePTZControl> CreatePTZControl(uint32_t channel) override;
};

}  // namespace korvane
