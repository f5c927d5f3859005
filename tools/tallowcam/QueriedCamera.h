#pragma once
// How a command reaches a camera: the plug-in loaded, the camera asked what
// it offers (the capability query), and a driver opened with the answer.
#include <string>

#include "ConsoleLogSink.h"
#include "DriverSession.h"
#include "PluginLibrary.h"
#include "ProbeRunner.h"

namespace tallowcam_host {

class QueriedCamera {
public:
    QueriedCamera() = default;
    QueriedCamera(const QueriedCamera&) = delete;
    QueriedCamera& operator=(const QueriedCamera&) = delete;

    // Loads the plug-in and runs the capability query; false with a message
    // for the user when either fails.
    bool Query(const std::string& pluginPath, const CameraConnection& camera, std::string& error);
    // Opens the driver; Settings() gives what the camera offers, which the
    // command may adjust first.
    bool Open(const CameraSettings& settings, std::string& error,
              korvane::ipcapture::IFrameAllocator* host = nullptr)
    {
        return m_session.Open(settings, error, host);
    }
    bool Open(std::string& error) { return Open(Settings(), error); }

    const CapabilityReport& Report() const { return m_report; }
    CameraSettings Settings() const { return SettingsFromReport(m_report, m_camera); }
    const PluginLibrary& Plugin() const { return m_plugin; }
    DriverSession& Session() { return m_session; }

private:
    PluginLibrary m_plugin;
    ConsoleLogSink m_logSink;
    DriverSession m_session{m_plugin, m_logSink};
    CameraConnection m_camera;
    CapabilityReport m_report;
};

}  // namespace tallowcam_host
