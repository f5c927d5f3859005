#include "video/VideoTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "ProbeRunner.h"
#include "platform/Process.h"
#include "support/CameraAddress.h"
#include "support/WaitUntil.h"

namespace korvane::test {

const char* RoleName(uint32_t role)
{
    const char* const names[] = {"Rec", "Live", "Remote"};
    return role < 3 ? names[role] : "?";
}

camsim::CameraOptions CameraOfType(uint32_t cameraType)
{
    camsim::CameraOptions options;
    options.address = CameraAddress(CameraSite::Video);
    options.rtspPort = 554;
    options.model.secondStream = cameraType == 3;
    if (cameraType == 1)
        options.model.videoList = {"jpg:640x480", "jpg:320x240", "h264:1280x720", "h264:640x480"};
    return options;
}

SettableStreamRequest StreamRequest(uint32_t codec, uint32_t width, uint32_t height, uint32_t framesPerSecond,
                                    uint32_t quality)
{
    SettableStreamRequest request;
    request.format.codec = codec;
    request.format.resolution.width = width;
    request.format.resolution.height = height;
    request.rate.frameRate = 0x7000 + framesPerSecond;
    request.rate.quality = quality;
    return request;
}

HostConfigurationFile::HostConfigurationFile(const std::string& body)
    : m_path(platform::ExecutableDirectory() + "Tallowcam.xml")
{
    std::ofstream(m_path, std::ios::binary | std::ios::trunc)
        << "<?xml version=\"1.0\"?>\n<Configuration>" << body << "</Configuration>\n";
}

HostConfigurationFile::~HostConfigurationFile()
{
    std::remove(m_path.c_str());
}

VideoCamera::~VideoCamera()
{
    if (m_driver != nullptr)
        m_driver->Close();
}

bool VideoCamera::Open(const std::map<uint32_t, std::string>& overrides)
{
    std::string error;
    if (!camera.Start() || !m_plugin.Load(TALLOWCAM_PLUGIN_PATH, error))
        return false;
    const DEVICE_INFO device = camera.DeviceInfo();
    params.deviceAddress.address = device.address;
    params.deviceAddress.port = static_cast<uint16_t>(device.port);
    params.deviceAddress.userName = device.userName;
    params.deviceAddress.password = device.password;
    const tallowcam_host::CapabilityReport report = tallowcam_host::RunCapabilityQuery(
        m_plugin, {device.address, params.deviceAddress.port, device.userName, device.password}, 10000);
    if (report.outcome != tallowcam_host::ProbeOutcome::Completed)
        return false;
    for (const auto& [number, parameter] : report.parameters)
        probedParameters[number] = parameter.value.empty() ? "(none)" : parameter.value;
    params.parameters = probedParameters;
    for (const auto& [number, value] : overrides)
        params.parameters[number] = value;
    params.captureInfo.model = report.deviceName;
    m_driver = m_plugin.CreateDriver();
    if (m_driver == nullptr || !m_driver->Open(&logSink, &frames, &params))
        return false;
    ClearRequests();  // what the query and the opening asked
    return true;
}

ipcapture::IIPVideoCaptureEx2* VideoCamera::Video() const
{
    return m_driver != nullptr ? m_driver->GetVideoCaptureEx2() : nullptr;
}

std::vector<std::string> VideoCamera::SettingsRequests()
{
    std::vector<std::string> selected;
    for (const std::string& target : camera.HttpRequests().Targets()) {
        const bool clock = target.find("bc00=") != std::string::npos || target.find("el=bc30") != std::string::npos;
        if (target.rfind("/admin/-set-?", 0) == 0 && !clock)
            selected.push_back(target);
    }
    return selected;
}

bool VideoCamera::WaitForSettingsRequests(size_t count, uint32_t timeoutMs)
{
    return WaitUntil([&] { return SettingsRequests().size() >= count; }, timeoutMs);
}

std::string VideoCamera::LastSettingsOfStream(uint32_t role, const SettableStreamRequest& request, size_t count)
{
    ClearRequests();
    EXPECT_TRUE(StartStream(role, request));
    EXPECT_TRUE(WaitForSettingsRequests(count));
    Video()->StopStream(0, role);
    const std::vector<std::string> requests = SettingsRequests();
    return requests.empty() ? std::string() : requests.back();
}

std::vector<std::string> VideoCamera::OnvifOperations()
{
    std::vector<std::string> operations;
    for (const camsim::OnvifRequestRecord& request : camera.Onvif().Requests())
        operations.push_back(request.operation);
    return operations;
}

void VideoCamera::ClearRequests()
{
    camera.HttpRequests().Clear();
    camera.Onvif().ClearRequests();
}

size_t VideoCamera::RtspRequests(const std::string& method)
{
    const std::vector<std::string> requests = camera.Rtsp().Recorder().Requests();
    return static_cast<size_t>(std::count_if(requests.begin(), requests.end(), [&](const std::string& request) {
        return method.empty() || request.rfind(method + " ", 0) == 0;
    }));
}

std::vector<DeliveredFrame> VideoCamera::FramesOf(uint32_t role) const
{
    std::vector<DeliveredFrame> selected;
    const std::string name = params.deviceAddress.address + ":" + std::to_string(params.deviceAddress.port) +
                             "::" + RoleName(role) + "Stream";
    for (DeliveredFrame& frame : frames.Frames())
        if (frame.streamName == name)
            selected.push_back(std::move(frame));
    return selected;
}

bool VideoCamera::WaitForFrames(uint32_t role, size_t count, uint32_t timeoutMs) const
{
    return WaitUntil([&] { return FramesOf(role).size() >= count; }, timeoutMs);
}

camsim::StreamDescription VideoCamera::LastDescribed(const std::string& suffix)
{
    const std::vector<camsim::StreamDescription> described = camera.Streams().Described();
    for (auto it = described.rbegin(); it != described.rend(); ++it)
        if (it->path.size() >= suffix.size() && it->path.rfind(suffix) == it->path.size() - suffix.size())
            return *it;
    return {};
}

}  // namespace korvane::test
