#include "PtzCommand.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ConsoleLogSink.h"
#include "HostParameters.h"
#include "PluginLibrary.h"
#include "tallowcam/PtzInterfaces.h"

namespace tallowcam_host {

namespace {

using namespace korvane;

constexpr uint32_t kPtzCapabilitiesParameter = 5;
// Commands run on the driver's worker thread; closing the driver discards
// what has not been sent yet, so the tool gives them this long.
constexpr uint32_t kSettleMs = 1000;

struct PtzOptions {
    std::string plugin = TALLOWCAM_DEFAULT_PLUGIN;
    CameraSettings camera;
    std::string capabilities =
        "Pan=1; Tilt=1; Zoom=1; Focus=1; Iris=1; PanSpeed=1-100;TiltSpeed=1-100;ZoomSpeed=1-7;IrisRange=1-100;"
        "Center=1; Unzoom=1; AreaZoom=1; Preset=0";
    std::string action;
    std::vector<uint32_t> numbers;  // X Y of center, X Y Z of area
    uint32_t speed = 8;
    uint32_t durationMs = 1000;
};

const std::map<std::string, int32_t>& MoveDirections()
{
    static const std::map<std::string, int32_t> directions = {
        {"left", kPtzMoveLeft},         {"right", kPtzMoveRight},          {"up", kPtzMoveUp},
        {"down", kPtzMoveDown},         {"up-left", kPtzMoveUpLeft},       {"up-right", kPtzMoveUpRight},
        {"down-left", kPtzMoveDownLeft}, {"down-right", kPtzMoveDownRight}, {"zoom-in", kPtzZoomTele},
        {"zoom-out", kPtzZoomWide},
    };
    return directions;
}

bool IsContinuous(const std::string& action)
{
    return MoveDirections().count(action) != 0 || action == "focus-near" || action == "focus-far";
}

size_t NumbersNeeded(const std::string& action)
{
    return action == "center" ? 2 : action == "area" ? 3 : 0;
}

int32_t RunAction(IIPPTZApi& api, const PtzOptions& options)
{
    const std::string& action = options.action;
    const std::vector<uint32_t>& n = options.numbers;
    const auto direction = MoveDirections().find(action);
    if (direction != MoveDirections().end())
        return api.StartMove(direction->second, options.speed);
    if (action == "stop")
        return api.Stop();
    if (action == "focus-near")
        return api.FocusNear(options.speed);
    if (action == "focus-far")
        return api.FocusFar(options.speed);
    if (action == "iris+")
        return api.IrisPlus(options.speed);
    if (action == "iris-")
        return api.IrisMinus(options.speed);
    if (action == "center")
        return api.Center(n[0], n[1], options.speed);
    return api.AreaZoom(n[0], n[1], n[2], options.speed);
}

int RunPtz(const PtzOptions& options)
{
    if (options.numbers.size() != NumbersNeeded(options.action)) {
        std::fprintf(stderr, "tallowcam: \"%s\" takes %zu number(s)\n", options.action.c_str(),
                     NumbersNeeded(options.action));
        return 2;
    }
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
    // The driver reads the numbered parameters up to the first one missing.
    for (uint32_t index = 1; index < kPtzCapabilitiesParameter; ++index)
        camera.parameters.emplace(index, "(none)");
    camera.parameters[kPtzCapabilitiesParameter] = options.capabilities;
    HostParameters parameters(camera);
    ConsoleLogSink logSink;
    if (!driver->Open(&logSink, nullptr, &parameters)) {
        std::fprintf(stderr, "tallowcam: the driver did not open\n");
        return 1;
    }
    IIPPTZDriver* ptz = driver->GetPTZDriver();
    IIPPTZApi* api = ptz != nullptr ? ptz->GetPTZApi(0) : nullptr;
    int status = 1;
    if (api == nullptr) {
        std::fprintf(stderr, "tallowcam: the driver offers no PTZ channel\n");
    } else {
        const int32_t result = RunAction(*api, options);
        std::printf("%s: %d\n", options.action.c_str(), static_cast<int>(result));
        if (result == kPtzSuccess && IsContinuous(options.action)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(options.durationMs));
            std::printf("stop: %d\n", static_cast<int>(api->Stop()));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
        status = result == kPtzSuccess ? 0 : 1;
    }
    driver->Close();
    return status;
}

}  // namespace

void AddPtzCommand(CLI::App& app)
{
    auto options = std::make_shared<PtzOptions>();
    CLI::App* ptz = app.add_subcommand("ptz", "Pan, tilt, zoom, focus and iris commands through the driver");
    ptz->add_option("address", options->camera.address, "Camera address")->required();
    ptz->add_option("--plugin", options->plugin, "Driver plug-in library")->capture_default_str();
    ptz->add_option("--port", options->camera.port, "Camera HTTP port")->capture_default_str();
    ptz->add_option("--user", options->camera.userName, "Camera user name")->capture_default_str();
    ptz->add_option("--password", options->camera.password, "Camera password");
    ptz->add_option("--capabilities", options->capabilities, "The camera's PTZ capability text (host parameter 5)")
        ->capture_default_str();

    std::vector<std::string> actions;
    for (const auto& [name, direction] : MoveDirections())
        actions.push_back(name);
    for (const char* name : {"stop", "focus-near", "focus-far", "iris+", "iris-", "center", "area"})
        actions.emplace_back(name);
    CLI::App* move = ptz->add_subcommand("move", "Run one command; motions run for --duration, then stop");
    ptz->require_subcommand(1);
    move->add_option("action", options->action, "What to do")->required()->check(CLI::IsMember(actions));
    move->add_option("numbers", options->numbers, "X Y for center, X Y Z for area (pixels; Z in per cent)");
    move->add_option("--speed", options->speed, "Host speed")->check(CLI::Range(1, 16))->capture_default_str();
    move->add_option("--duration", options->durationMs, "Milliseconds a motion runs before it is stopped")
        ->capture_default_str();
    move->callback([options] {
        const int status = RunPtz(*options);
        if (status != 0)
            throw CLI::RuntimeError(status);
    });
}

}  // namespace tallowcam_host
