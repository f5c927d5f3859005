#include "capabilities/CanonCapabilityQueryModule.h"

#include "capabilities/CanonCameraProperties.h"

namespace korvane {

CBaseCameraProperties* CCanonCapabilityQueryModule::CreateProperties()
{
    return new CCanonCameraProperties(GetDevice(), GetVideoStandard() ? 1 : 0);
}

}  // namespace korvane
