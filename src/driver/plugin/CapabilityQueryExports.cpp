#include "tallowcam/CapabilityQueryExports.h"

#include "capabilities/CanonCapabilityQueryModule.h"
#include "capabilities/GlobalCapabilityQuery.h"

namespace {

korvane::CGlobalCapabilityQuery& GlobalModule()
{
    static korvane::CGlobalCapabilityQuery module;
    return module;
}

}  // namespace

korvane::ipcapture::IIPCapabilityQuery* CreateCapabilityQueryModule(korvane::ipcapture::ICapabilityCallback* callback,
                                                                    uint32_t videoStandard)
{
    try {
        return new korvane::CCanonCapabilityQueryModule(callback, videoStandard != 0);
    } catch (...) {
        return nullptr;
    }
}

int InitCapabilityQuery(korvane::ipcapture::ICapabilityCallback* callback, uint32_t videoStandard)
{
    return GlobalModule().Init(callback, videoStandard != 0) ? 1 : 0;
}

int StartCapabilityQuery(const char* address, uint16_t port, const char* userName, const char* password,
                         korvane::ipcapture::ICapabilityResult* result)
{
    return GlobalModule().Start(address, port, userName, password, result) ? 1 : 0;
}

int TerminateCapabilityQuery()
{
    GlobalModule().Terminate();
    return 1;
}

int UninitCapabilityQuery()
{
    GlobalModule().Uninit();
    return 1;
}
