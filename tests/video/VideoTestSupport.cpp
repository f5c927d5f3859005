#include "video/VideoTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "platform/Process.h"
#include "support/CameraAddress.h"
#include "support/WaitUntil.h"

namespace korvane::test {

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

bool VideoCamera::Open(const std::map<uint32_t, std::string>& overrides)
{
    if (!camera.Start())
        return false;
    const DEVICE_INFO device = camera.DeviceInfo();
    params.deviceAddress.address = device.address;
    params.deviceAddress.port = static_cast<uint16_t>(device.port);
    params.deviceAddress.userName = device.userName;
    params.deviceAddress.password = device.password;
    if (!Probe())
        return false;
    for (const auto& [number, value] : overrides)
        params.parameters[number] = value;
    if (!PluginDriver::Open())
        return false;
    ClearRequests();  // what the query and the opening asked
    return true;
}

size_t VideoCamera::SettledRtspRequests()
{
    size_t count = RtspRequests();
    while (WaitUntil([&] { return RtspRequests() != count; }, 500))
        count = RtspRequests();
    return count;
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

bool VideoCamera::WaitForSettingsRequests(size_t count)
{
    return WaitUntil([&] { return SettingsRequests().size() >= count; }, kStreamWaitMs);
}

std::string VideoCamera::LastSettingsOfStream(uint32_t role, const SettableStreamRequest& request, size_t count)
{
    ClearRequests();
    EXPECT_TRUE(StartStream(role, request));
    EXPECT_TRUE(WaitForSettingsRequests(count));
    Video().StopStream(0, role);
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

camsim::StreamDescription VideoCamera::LastDescribed(const std::string& suffix)
{
    const std::vector<camsim::StreamDescription> described = camera.Streams().Described();
    for (auto it = described.rbegin(); it != described.rend(); ++it)
        if (it->path.size() >= suffix.size() && it->path.rfind(suffix) == it->path.size() - suffix.size())
            return *it;
    return {};
}

}  // namespace korvane::test
