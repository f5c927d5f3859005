#include "PluginLibrary.h"

namespace tallowcam_host {

namespace {

template <typename Function>
bool Resolve(const korvane::platform::DynamicLibrary& library, const char* name, Function& function,
             std::string& missing)
{
    function = reinterpret_cast<Function>(library.Symbol(name));
    if (function == nullptr)
        missing += missing.empty() ? name : std::string(", ") + name;
    return function != nullptr;
}

}  // namespace

bool PluginLibrary::Load(const std::string& path, std::string& error)
{
    if (!m_library.Load(path)) {
        error = "cannot load the driver plug-in " + path;
        return false;
    }
    std::string missing;
    Resolve(m_library, "CreateIPCaptureEx5", m_createDriver, missing);
    Resolve(m_library, "DeleteIPCaptureEx5", m_deleteDriver, missing);
    Resolve(m_library, "CreateCapabilityQueryModule", m_createQuery, missing);
    Resolve(m_library, "DeleteCapabilityQueryModule", m_deleteQuery, missing);
    if (!missing.empty()) {
        error = path + " does not export " + missing;
        m_library.Unload();
        return false;
    }
    return true;
}

PluginLibrary::DriverPtr PluginLibrary::CreateDriver() const
{
    return DriverPtr(m_createDriver != nullptr ? m_createDriver() : nullptr, ObjectDeleter(m_deleteDriver));
}

PluginLibrary::QueryPtr PluginLibrary::CreateCapabilityQuery(korvane::ipcapture::ICapabilityCallback* callback,
                                                             uint32_t videoStandard) const
{
    return QueryPtr(m_createQuery != nullptr ? m_createQuery(callback, videoStandard) : nullptr,
                    ObjectDeleter(m_deleteQuery));
}

}  // namespace tallowcam_host
