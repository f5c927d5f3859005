#pragma once
// The capability query for Canon cameras.
#include "capabilities/CapabilityQueryModule.h"

namespace korvane {

class CCanonCapabilityQueryModule : public CCapabilityQueryModule {
public:
    using CCapabilityQueryModule::CCapabilityQueryModule;

protected:
    CBaseCameraProperties* CreateProperties() override;
};

}  // namespace korvane
