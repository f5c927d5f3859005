#pragma once
// The driver plug-in loaded at run time, and the objects it creates: drivers
// and capability query modules, each going back to the plug-in's deleter.
#include <memory>
#include <string>

#include "platform/DynamicLibrary.h"
#include "tallowcam/CapabilityQueryExports.h"
#include "tallowcam/Exports.h"

namespace tallowcam_host {

using korvane::ipcapture::IIPCapabilityQuery;
using korvane::ipcapture::IIPCaptureDriverEx5;
using korvane::ipcapture::IPluginObject;

class PluginLibrary {
public:
    using Deleter = decltype(&DeleteIPCaptureEx5);

    class ObjectDeleter {
    public:
        explicit ObjectDeleter(Deleter deleter = nullptr) : m_deleter(deleter) {}
        void operator()(IPluginObject* object) const { m_deleter(object); }

    private:
        Deleter m_deleter;
    };
    using DriverPtr = std::unique_ptr<IIPCaptureDriverEx5, ObjectDeleter>;
    using QueryPtr = std::unique_ptr<IIPCapabilityQuery, ObjectDeleter>;

    // False with a reason when the library or one of its entry points is missing.
    bool Load(const std::string& path, std::string& error);
    // Null when the factory gives none.
    DriverPtr CreateDriver() const;
    // videoStandard 0 for 25 frames per second cameras. Null when the plug-in gives none.
    QueryPtr CreateCapabilityQuery(korvane::ipcapture::ICapabilityCallback* callback, uint32_t videoStandard) const;

private:
    korvane::platform::DynamicLibrary m_library;
    decltype(&CreateIPCaptureEx5) m_createDriver = nullptr;
    Deleter m_deleteDriver = nullptr;
    decltype(&CreateCapabilityQueryModule) m_createQuery = nullptr;
    Deleter m_deleteQuery = nullptr;
};

}  // namespace tallowcam_host
