#pragma once
// A Canon camera's PTZ channel: its worker runs with the camera's speed ranges
// cut to the configured per-cent limits and the configured queue size.
#include "ptz/BasePTZControl.h"

namespace korvane {

class CCanonPTZControl : public CBasePTZControl {
public:
    using CBasePTZControl::CBasePTZControl;
    ~CCanonPTZControl() override { Close(); }

    uint32_t QueryExtension(uint32_t /*value*/) override { return 0; }
    std::unique_ptr<CBasePTZComm> CreatePTZComm() override;
};

}  // namespace korvane
