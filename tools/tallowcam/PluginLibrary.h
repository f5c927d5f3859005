#pragma once
// The driver plug-in loaded at run time, and the drivers it creates.
#include <memory>
#include <string>

#include "platform/DynamicLibrary.h"
#include "tallowcam/HostInterfaces.h"

namespace tallowcam_host {

using korvane::ipcapture::IIPCaptureDriverEx5;
using korvane::ipcapture::IPluginObject;

class PluginLibrary {
public:
    using Factory = IIPCaptureDriverEx5* (*)();
    using Deleter = void (*)(IPluginObject*);

    // A driver that goes back to the plug-in's deleter.
    class DriverDeleter {
    public:
        explicit DriverDeleter(Deleter deleter = nullptr) : m_deleter(deleter) {}
        void operator()(IIPCaptureDriverEx5* driver) const { m_deleter(driver); }

    private:
        Deleter m_deleter;
    };
    using DriverPtr = std::unique_ptr<IIPCaptureDriverEx5, DriverDeleter>;

    // False with a reason when the library or its entry points are missing.
    bool Load(const std::string& path, std::string& error);
    // Null when the factory gives none.
    DriverPtr CreateDriver() const;

private:
    korvane::platform::DynamicLibrary m_library;
    Factory m_factory = nullptr;
    Deleter m_deleter = nullptr;
};

}  // namespace tallowcam_host
