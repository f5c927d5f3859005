#include "PtzCommand.h"

#include <chrono>
#include <cstring>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CommandSupport.h"
#include "QueriedCamera.h"
#include "tallowcam/PtzInterfaces.h"

namespace tallowcam_host {

namespace {

using namespace korvane;

constexpr uint32_t kPtzCapabilitiesParameter = 5;
// Commands run on the driver's worker thread; closing the driver discards
// what has not been sent yet, so the tool gives them this long.
constexpr uint32_t kSettleMs = 1000;
constexpr size_t kPresetNameSize = 256;

// How the PTZ commands reach the camera.
struct PtzConnection {
    std::string plugin = DefaultPluginPath();
    CameraConnection camera;
    std::string capabilities;  // empty: what the camera reports
};

struct PtzOptions {
    PtzConnection connection;
    std::string action;
    std::vector<uint32_t> numbers;  // X Y of center, X Y Z of area
    uint32_t speed = 8;
    uint32_t durationMs = 1000;
};

struct PresetOptions {
    PtzConnection connection;
    std::string action;  // list, set, goto, delete
    std::string name;
    int32_t speed = 16;
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

// Queries the camera and opens the driver for its first PTZ channel.
IIPPTZApi* OpenPtz(const PtzConnection& connection, QueriedCamera& camera, std::string& error)
{
    if (!camera.Query(connection.plugin, connection.camera, error))
        return nullptr;
    CameraSettings settings = camera.Settings();
    if (!connection.capabilities.empty())
        settings.parameters[kPtzCapabilitiesParameter] = connection.capabilities;
    if (!camera.Open(settings, error))
        return nullptr;
    IIPPTZApi* api = camera.Session().PtzApi();
    if (api == nullptr)
        error = "the driver offers no PTZ channel for " + connection.camera.address;
    return api;
}

int RunPtz(const PtzOptions& options)
{
    if (options.numbers.size() != NumbersNeeded(options.action))
        return Fail("\"" + options.action + "\" takes " + std::to_string(NumbersNeeded(options.action)) +
                    " number(s)");
    QueriedCamera camera;
    std::string error;
    IIPPTZApi* api = OpenPtz(options.connection, camera, error);
    if (api == nullptr)
        return Fail(error);
    const int32_t result = RunAction(*api, options);
    std::printf("%s: %d\n", options.action.c_str(), static_cast<int>(result));
    if (result == kPtzSuccess && IsContinuous(options.action)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(options.durationMs));
        std::printf("stop: %d\n", static_cast<int>(api->Stop()));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
    return result == kPtzSuccess ? 0 : 1;
}

std::string PresetFailure(int32_t result, const std::string& name)
{
    switch (result) {
    case kPtzInvalidArgument:
        return "\"" + name + "\" is not a valid preset name";
    case kPtzPresetLimit:
        return "the camera stores no more presets";
    case kPtzPresetFailure:
        return "the camera did not carry out the preset command (is there a preset \"" + name + "\"?)";
    case kPtzNotSupported:
        return "the camera offers no presets";
    default:
        return "the driver answered " + std::to_string(result);
    }
}

int ListPresets(IIPPTZApi& api, int32_t count)
{
    if (count < 0)
        return Fail(PresetFailure(count, ""));
    char current[kPresetNameSize] = "";
    if (api.GetCurrentPreposition(current, sizeof current) != kPtzSuccess)
        current[0] = '\0';
    std::printf("%d preset(s)\n", static_cast<int>(count));
    for (int32_t index = 0; index < count; ++index) {
        char name[kPresetNameSize];
        if (const int32_t result = api.GetPrepositionName(index, name, sizeof name); result != kPtzSuccess)
            return Fail(PresetFailure(result, ""));
        std::printf("  %s%s\n", name, std::strcmp(name, current) == 0 ? "  (current)" : "");
    }
    return 0;
}

int RunPresets(const PresetOptions& options)
{
    QueriedCamera camera;
    std::string error;
    IIPPTZApi* api = OpenPtz(options.connection, camera, error);
    if (api == nullptr)
        return Fail(error);
    // Counting loads the camera's presets when opening the channel could not.
    const int32_t count = api->GetPrepositionCount();
    if (options.action == "list")
        return ListPresets(*api, count);
    const char* name = options.name.c_str();
    const int32_t result = options.action == "set"    ? api->SetPreposition(name)
                           : options.action == "goto" ? api->MoveToPreposition(options.speed, name)
                                                      : api->DeletePreposition(name);
    if (result != kPtzSuccess)
        return Fail(PresetFailure(result, options.name));
    std::printf("%s %s: done\n", options.action.c_str(), name);
    return 0;
}

void AddPtzConnectionOptions(CLI::App& command, PtzConnection& connection)
{
    AddCameraOptions(command, connection.camera);
    command.add_option("--capabilities", connection.capabilities,
                       "PTZ capability text for the driver (host parameter 5; default: what the camera reports)");
    AddPluginOption(command, connection.plugin);
    command.fallthrough();  // its subcommands pass the camera options up: they may follow the action
    command.require_subcommand(1);
}

}  // namespace

void AddPtzCommand(CLI::App& app)
{
    auto options = std::make_shared<PtzOptions>();
    CLI::App* ptz = app.add_subcommand("ptz", "Pan, tilt, zoom, focus and iris commands through the driver");
    AddPtzConnectionOptions(*ptz, options->connection);

    std::vector<std::string> actions;
    for (const auto& [name, direction] : MoveDirections())
        actions.push_back(name);
    for (const char* name : {"stop", "focus-near", "focus-far", "iris+", "iris-", "center", "area"})
        actions.emplace_back(name);
    CLI::App* move = ptz->add_subcommand("move", "Run one command; motions run for --duration, then stop");
    move->add_option("action", options->action, "What to do")->required()->check(CLI::IsMember(actions));
    move->add_option("numbers", options->numbers, "X Y for center, X Y Z for area (pixels; Z in per cent)");
    move->add_option("--speed", options->speed, "Host speed")->check(CLI::Range(1, 16))->capture_default_str();
    move->add_option("--duration", options->durationMs, "Milliseconds a motion runs before it is stopped")
        ->capture_default_str();
    RunOnCallback(*move, RunPtz, options);
}

void AddPresetsCommand(CLI::App& app)
{
    auto options = std::make_shared<PresetOptions>();
    CLI::App* presets = app.add_subcommand("presets", "List, store, recall and delete the camera's presets");
    AddPtzConnectionOptions(*presets, options->connection);

    struct Action {
        const char* name;
        const char* help;
    };
    for (const Action& action : {Action{"list", "Print the presets; the one the camera stands at is marked"},
                                 Action{"set", "Store the current position under NAME"},
                                 Action{"goto", "Move to the preset NAME"}, Action{"delete", "Delete the preset NAME"}}) {
        CLI::App* command = presets->add_subcommand(action.name, action.help);
        const std::string name = action.name;
        if (name != "list")
            command->add_option("name", options->name, "Preset name")->required();
        if (name == "goto")
            command->add_option("--speed", options->speed, "Host speed")->check(CLI::Range(1, 16))->capture_default_str();
        const auto run = [name](PresetOptions& chosen) {
            chosen.action = name;
            return RunPresets(chosen);
        };
        RunOnCallback(*command, run, options);
    }
}

}  // namespace tallowcam_host
