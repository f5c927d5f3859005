// A ten-line host: loads the installed plug-in, creates a driver and deletes it again.
#include <dlfcn.h>

#include <cstdio>

#include "tallowcam/Exports.h"

int main()
{
    void* plugin = dlopen(TALLOWCAM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    auto create = reinterpret_cast<decltype(&CreateIPCaptureEx5)>(plugin ? dlsym(plugin, "CreateIPCaptureEx5") : nullptr);
    auto destroy = reinterpret_cast<decltype(&DeleteIPCaptureEx5)>(plugin ? dlsym(plugin, "DeleteIPCaptureEx5") : nullptr);
    korvane::ipcapture::IIPCaptureDriverEx5* driver = create && destroy ? create() : nullptr;
    if (!driver)
        return std::fprintf(stderr, "no driver from %s: %s\n", TALLOWCAM_PLUGIN_PATH, plugin ? "no factory" : dlerror()), 1;
    destroy(driver);
    std::printf("created and deleted a driver of %s\n", TALLOWCAM_PLUGIN_PATH);
    return dlclose(plugin);
}
