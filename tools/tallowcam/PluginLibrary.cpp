#include "PluginLibrary.h"

namespace tallowcam_host {

bool PluginLibrary::Load(const std::string& path, std::string& error)
{
    if (!m_library.Load(path)) {
        error = "cannot load " + path;
        return false;
    }
    m_factory = reinterpret_cast<Factory>(m_library.Symbol("CreateIPCaptureEx5"));
    m_deleter = reinterpret_cast<Deleter>(m_library.Symbol("DeleteIPCaptureEx5"));
    if (m_factory == nullptr || m_deleter == nullptr) {
        error = path + " does not export CreateIPCaptureEx5 and DeleteIPCaptureEx5";
        m_library.Unload();
        return false;
    }
    return true;
}

PluginLibrary::DriverPtr PluginLibrary::CreateDriver() const
{
    return DriverPtr(m_factory != nullptr ? m_factory() : nullptr, DriverDeleter(m_deleter));
}

}  // namespace tallowcam_host
