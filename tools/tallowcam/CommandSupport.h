#pragma once
// What the commands share: the plug-in and camera options, Ctrl-C, and the
// printed recording summary.
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "DriverSession.h"
#include "ProbeRunner.h"

namespace tallowcam_host {

// The installed plug-in beside this program when there is one, else the one built with it.
std::string DefaultPluginPath();
// Adds --plugin.
void AddPluginOption(CLI::App& command, std::string& plugin);
// Adds ADDRESS, --port, --user and --password.
void AddCameraOptions(CLI::App& command, CameraConnection& camera);

// Runs run(options) when the command is chosen; a failure status becomes the exit status.
template <typename Run, typename Options>
void RunOnCallback(CLI::App& command, Run run, const std::shared_ptr<Options>& options)
{
    command.callback([run, options] {
        if (const int status = run(*options); status != 0)
            throw CLI::RuntimeError(status);
    });
}

// Set once SIGINT or SIGTERM arrives (after InstallInterruptHandler).
const std::atomic<bool>& InterruptRequested();
void InstallInterruptHandler();

// "tallowcam: <message>" on standard error; returns the exit status 1.
int Fail(const std::string& message);

// A progress line on standard error: rewritten in place on a terminal.
void PrintProgress(double seconds, const StreamStatistics& statistics);
void EndProgress();

void PrintRecordingSummary(const std::string& title, const RecordingResult& result, std::FILE* out);

}  // namespace tallowcam_host
