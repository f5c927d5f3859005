#include "capabilities/GlobalCapabilityQuery.h"

#include "capabilities/CanonCapabilityQueryModule.h"

namespace korvane {

bool CGlobalCapabilityQuery::Init(ipcapture::ICapabilityCallback* callback, bool videoStandard)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_module)
        return false;
    try {
        m_module = std::make_shared<CCanonCapabilityQueryModule>(callback, videoStandard);
    } catch (...) {
        m_module.reset();
    }
    return true;
}

bool CGlobalCapabilityQuery::Start(const char* address, uint16_t port, const char* userName, const char* password,
                                   ipcapture::ICapabilityResult* result)
{
    if (address == nullptr || userName == nullptr || password == nullptr)
        return false;
    const std::shared_ptr<ipcapture::IIPCapabilityQuery> module = Current();
    return module && module->Start(address, port, userName, password, result);
}

void CGlobalCapabilityQuery::Terminate()
{
    if (const std::shared_ptr<ipcapture::IIPCapabilityQuery> module = Current())
        module->Terminate();
}

void CGlobalCapabilityQuery::Uninit()
{
    std::shared_ptr<ipcapture::IIPCapabilityQuery> module;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        module.swap(m_module);
    }
    // The module is deleted outside the lock: its destructor waits for the
    // worker, whose callbacks may call back in.
}

std::shared_ptr<ipcapture::IIPCapabilityQuery> CGlobalCapabilityQuery::Current()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_module;
}

}  // namespace korvane
