#pragma once
// The one capability query module driven by the plug-in's plain functions.
#include <cstdint>
#include <memory>
#include <mutex>

#include "tallowcam/CapabilityQuery.h"

namespace korvane {

class CGlobalCapabilityQuery {
public:
    // Creates the module: true, or false when one exists already.
    bool Init(ipcapture::ICapabilityCallback* callback, bool videoStandard);
    // The module's Start; false without a module or with a null text argument.
    bool Start(const char* address, uint16_t port, const char* userName, const char* password,
               ipcapture::ICapabilityResult* result);
    void Terminate();
    // Deletes the module, if any, once no call uses it any more.
    void Uninit();

private:
    std::shared_ptr<ipcapture::IIPCapabilityQuery> Current();

    std::mutex m_mutex;
    std::shared_ptr<ipcapture::IIPCapabilityQuery> m_module;
};

}  // namespace korvane
