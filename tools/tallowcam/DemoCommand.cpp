#include "DemoCommand.h"

#include <cstdio>
#include <memory>
#include <string>

#include "ConsoleLogSink.h"
#include "HostParameters.h"
#include "PluginLibrary.h"

namespace tallowcam_host {

namespace {

struct DemoOptions {
    std::string plugin = TALLOWCAM_DEFAULT_PLUGIN;
    CameraSettings camera;
    std::string firmware = "Ver. 1.0.0";
};

int RunDemo(const DemoOptions& options)
{
    PluginLibrary plugin;
    std::string error;
    if (!plugin.Load(options.plugin, error)) {
        std::fprintf(stderr, "tallowcam: %s\n", error.c_str());
        return 1;
    }
    PluginLibrary::DriverPtr driver = plugin.CreateDriver();
    if (driver == nullptr) {
        std::fprintf(stderr, "tallowcam: the plug-in created no driver\n");
        return 1;
    }

    CameraSettings camera = options.camera;
    camera.parameters[1] = "0";  // 25 frames per second camera
    camera.parameters[2] = options.firmware.empty() ? "(none)" : options.firmware;
    HostParameters parameters(camera);
    ConsoleLogSink logSink;

    std::printf("Opening a driver for %s:%u\n", camera.address.c_str(), static_cast<unsigned>(camera.port));
    const bool opened = driver->Open(&logSink, nullptr, &parameters);
    if (opened) {
        korvane::ipcapture::IIPVideoCaptureEx2* video = driver->GetVideoCaptureEx2();
        std::printf("Driver opened: %u video channel(s), audio input %s, audio output %s\n",
                    video != nullptr ? video->GetChannelCount() : 0u, driver->GetAudioCapture() ? "yes" : "no",
                    driver->GetAudioSender() ? "yes" : "no");
    } else {
        std::fprintf(stderr, "tallowcam: the driver did not open\n");
    }
    driver->Close();
    driver.reset();
    std::printf("Driver closed and deleted\n");
    return opened ? 0 : 1;
}

}  // namespace

void AddDemoCommand(CLI::App& app)
{
    auto options = std::make_shared<DemoOptions>();
    CLI::App* demo = app.add_subcommand("demo", "Open and close one driver with example camera parameters");
    demo->add_option("--plugin", options->plugin, "Driver plug-in library")->capture_default_str();
    demo->add_option("--address", options->camera.address, "Camera address")->capture_default_str();
    demo->add_option("--port", options->camera.port, "Camera HTTP port")->capture_default_str();
    demo->add_option("--user", options->camera.userName, "Camera user name")->capture_default_str();
    demo->add_option("--password", options->camera.password, "Camera password");
    demo->add_option("--model", options->camera.model, "Camera model name")->capture_default_str();
    demo->add_option("--firmware", options->firmware, "Camera firmware text")->capture_default_str();
    demo->callback([options] {
        const int status = RunDemo(*options);
        if (status != 0)
            throw CLI::RuntimeError(status);
    });
}

}  // namespace tallowcam_host
