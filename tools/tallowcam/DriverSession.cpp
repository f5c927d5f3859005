#include "DriverSession.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/Network.h"
#include "platform/TcpSocket.h"

namespace tallowcam_host {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string WithLastError(std::string message, const ConsoleLogSink& logSink)
{
    const std::string lastError = logSink.LastError();
    return lastError.empty() ? message : message + "; the driver's last error: " + lastError;
}

// The driver logs nothing when it cannot connect to the camera's RTSP server,
// so the host tries that connection itself.
bool RtspPortAcceptsConnections(const std::string& address)
{
    constexpr uint32_t kConnectTimeoutMs = 2000;
    const uint32_t ip = korvane::platform::ResolveIPv4(address);
    korvane::platform::TcpSocket socket;
    return ip != korvane::platform::kInvalidAddress && socket.Create() &&
           socket.Connect(ip, kCameraRtspPort, kConnectTimeoutMs);
}

std::string NoFramesMessage(double seconds, const std::string& address)
{
    char message[64];
    std::snprintf(message, sizeof message, "no frames arrived within %g s", seconds);
    if (RtspPortAcceptsConnections(address))
        return message;
    return message + ("; likely cause: the driver cannot connect to the camera's RTSP port " + address + ":" +
                      std::to_string(kCameraRtspPort) + ", where it looks for the stream");
}

}  // namespace

CameraSettings SettingsFromReport(const CapabilityReport& report, const CameraConnection& camera)
{
    CameraSettings settings;
    settings.address = camera.address;
    settings.port = camera.port;
    settings.userName = camera.userName;
    settings.password = camera.password;
    if (!report.deviceName.empty())
        settings.model = report.deviceName;
    const auto count = [&report](uint32_t id, uint32_t fallback) {
        const auto found = report.capabilities.find(id);
        return found != report.capabilities.end() ? found->second : fallback;
    };
    settings.channelCount = count(0, 1);
    settings.inputCount = count(2, 0);
    settings.outputCount = count(3, 0);
    for (const auto& [number, parameter] : report.parameters)
        settings.parameters[number] = parameter.value.empty() ? "(none)" : parameter.value;
    return settings;
}

bool DriverSession::Open(const CameraSettings& camera, std::string& error,
                         korvane::ipcapture::IFrameAllocator* host)
{
    Close();
    m_driver = m_plugin.CreateDriver();
    if (m_driver == nullptr) {
        error = "the plug-in created no driver";
        return false;
    }
    m_parameters = std::make_unique<HostParameters>(camera);
    if (!m_driver->Open(&m_logSink, host != nullptr ? host : &m_allocator, m_parameters.get())) {
        error = WithLastError("the driver did not open for " + camera.address, m_logSink);
        Close();
        return false;
    }
    m_cameraAddress = camera.address;
    m_video = m_driver->GetVideoCaptureEx2();
    if (m_video == nullptr || m_video->GetChannelCount() == 0) {
        error = "the driver offers no video channel";
        Close();
        return false;
    }
    return true;
}

void DriverSession::Close()
{
    if (m_driver == nullptr)
        return;
    m_video = nullptr;
    m_driver->Close();
    m_driver.reset();
    m_parameters.reset();
}

korvane::IIPPTZApi* DriverSession::PtzApi() const
{
    korvane::IIPPTZDriver* ptz = m_driver != nullptr ? m_driver->GetPTZDriver() : nullptr;
    return ptz != nullptr ? ptz->GetPTZApi(0) : nullptr;
}

bool DriverSession::StartStream(const RecordingPlan& plan, RecordingSink& sink, StreamRequest& request)
{
    if (plan.role == StreamRole::Rec)
        return m_video->StartChannel(0, &sink, &request);
    return m_video->StartStream(0, static_cast<uint32_t>(plan.role), &sink, &request);
}

void DriverSession::StopStream(StreamRole role)
{
    if (role == StreamRole::Rec)
        m_video->StopChannel(0);
    else
        m_video->StopStream(0, static_cast<uint32_t>(role));
}

bool DriverSession::StartMotionDetection(korvane::ipcapture::IFrameSink& sink, const StreamSettings& stream)
{
    StreamSettings settings = stream;
    settings.motionDetection = true;
    StreamRequest request(settings);
    return m_video != nullptr && m_video->StartChannel(0, &sink, &request);
}

bool DriverSession::ReadState(uint32_t& state)
{
    uint32_t extra = 0;
    char text[256];
    return m_video->GetChannelState(0, &state, &extra, text, sizeof text);
}

RecordingResult DriverSession::Record(const RecordingPlan& plan, const ProgressCallback& progress)
{
    RecordingResult result;
    if (m_video == nullptr) {
        result.error = "the driver is not open";
        return result;
    }
    RecordingSink sink;  // outlives the stream: StopStream below ends every delivery
    if (!plan.outputPath.empty() && !sink.OpenFile(plan.outputPath, result.error))
        return result;
    StreamRequest request(plan.stream);

    const Clock::time_point start = Clock::now();
    const bool started = StartStream(plan, sink, request);
    if (started) {
        double firstFrameAt = -1;
        double lastProgress = 0;
        for (;;) {
            const double elapsed = SecondsSince(start);
            uint32_t state = 0;
            if (ReadState(state) && (result.stateChanges.empty() || result.stateChanges.back().state != state))
                result.stateChanges.push_back({elapsed, state});
            const StreamStatistics statistics = sink.Statistics();
            if (statistics.frames > 0 && firstFrameAt < 0)
                firstFrameAt = elapsed;
            if (progress && elapsed - lastProgress >= 0.5) {
                progress(elapsed, statistics);
                lastProgress = elapsed;
            }
            if (plan.interrupted != nullptr && plan.interrupted->load())
                break;
            if (firstFrameAt >= 0 && elapsed - firstFrameAt >= plan.seconds)
                break;
            if (firstFrameAt < 0 && elapsed >= plan.firstFrameSeconds)
                break;
            if (!sink.FileIsGood())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    StopStream(plan.role);
    result.statistics = sink.Statistics();

    if (!started)
        result.error = WithLastError("the driver did not start the stream", m_logSink);
    else if (!sink.FileIsGood())
        result.error = "writing " + plan.outputPath + " failed";
    else if (result.statistics.frames == 0 && !(plan.interrupted != nullptr && plan.interrupted->load()))
        result.error = WithLastError(NoFramesMessage(plan.firstFrameSeconds, m_cameraAddress), m_logSink);
    result.ok = result.error.empty() && result.statistics.frames > 0;
    if (!result.ok && result.error.empty())
        result.error = "interrupted before the first frame";
    return result;
}

}  // namespace tallowcam_host
