// stream_load: N simultaneous H.264 channels from the camera simulator (run as
// a separate `camsim` process, RTSP on 127.0.0.1:554) through the driver
// plug-in, opened the way a recorder opens them: one driver per camera
// through the exported factory, StartChannel with a frame sink. Reports the
// frames delivered and lost, the CPU time of the driver and of the camera,
// the resident memory per stream at steady state and the time from
// StartChannel to the channel's first frame (LoadRun.h).
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "DriverSession.h"
#include "LoadRun.h"
#include "ProbeRunner.h"
#include "TransportConfiguration.h"

namespace {

using namespace tallowcam_host;
using namespace tallowcam_bench;

constexpr uint32_t kProbeTimeoutMs = 30000;

// The recorder's frame sink, timing the first frame.
class TimedSink final : public korvane::ipcapture::IFrameSink {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    void Start() { m_firstFrame.Start(); }
    bool OnFrame(korvane::ipcapture::IHostFrame* frame) override
    {
        m_firstFrame.OnFrame();
        return m_sink.OnFrame(frame);
    }
    void OnSignalLost() override { m_sink.OnSignalLost(); }
    StreamCounts Counts() const
    {
        const StreamStatistics statistics = m_sink.Statistics();
        return {statistics.frames, statistics.bytes, m_firstFrame.Milliseconds(), {}};
    }

private:
    RecordingSink m_sink;
    FirstFrameClock m_firstFrame;
};

// One camera as a recorder holds it: a driver object and its recording stream.
class LoadChannel {
public:
    bool Start(const CameraSettings& camera, const StreamSettings& stream, PluginLibrary::DriverPtr driver,
               std::string& error)
    {
        m_driver = std::move(driver);
        m_parameters = std::make_unique<HostParameters>(camera);
        m_request = std::make_unique<StreamRequest>(stream);
        if (m_driver == nullptr || !m_driver->Open(&m_logSink, &m_allocator, m_parameters.get())) {
            error = "the driver did not open";
            return false;
        }
        m_video = m_driver->GetVideoCaptureEx2();
        m_sink.Start();
        if (m_video == nullptr || !m_video->StartChannel(0, &m_sink, m_request.get())) {
            error = "the channel did not start";
            return false;
        }
        return true;
    }
    void Stop()
    {
        if (m_video != nullptr)
            m_video->StopChannel(0);
        m_video = nullptr;
        if (m_driver != nullptr)
            m_driver->Close();
        m_driver.reset();
    }
    StreamCounts Counts() const { return m_sink.Counts(); }

private:
    ConsoleLogSink m_logSink{false};
    HeapFrameAllocator m_allocator;
    TimedSink m_sink;
    std::unique_ptr<HostParameters> m_parameters;
    std::unique_ptr<StreamRequest> m_request;
    PluginLibrary::DriverPtr m_driver;
    korvane::ipcapture::IIPVideoCaptureEx2* m_video = nullptr;
};

// The driver plug-in as the receiver: one capability query, then one driver per stream.
class DriverReceiver final : public LoadReceiver {
public:
    DriverReceiver(std::string pluginPath, const LoadOptions& options)
        : m_pluginPath(std::move(pluginPath)),
          m_transport(options.transport == LoadTransport::Udp ? Transport::Udp : Transport::Tcp)
    {
        m_stream.width = 1920;
        m_stream.height = 1080;
        m_stream.framesPerSecond = options.framesPerSecond;
    }
    ~DriverReceiver() override { StopStreams(); }

    bool Prepare(uint16_t cameraHttpPort, std::string& error) override
    {
        if (!m_configuration.Apply(m_transport, error) || !m_plugin.Load(m_pluginPath, error))
            return false;
        const CameraConnection connection{"127.0.0.1", cameraHttpPort, "root", ""};
        const CapabilityReport report = RunCapabilityQuery(m_plugin, connection, kProbeTimeoutMs);
        if (report.outcome != ProbeOutcome::Completed) {
            error = DescribeFailure(report, connection);
            return false;
        }
        m_settings = SettingsFromReport(report, connection);
        return true;
    }
    bool StartStream(std::string& error) override
    {
        m_channels.push_back(std::make_unique<LoadChannel>());
        return m_channels.back()->Start(m_settings, m_stream, m_plugin.CreateDriver(), error);
    }
    std::vector<StreamCounts> Counts() const override
    {
        std::vector<StreamCounts> counts;
        for (const auto& channel : m_channels)
            counts.push_back(channel->Counts());
        return counts;
    }
    void StopStreams() override
    {
        for (auto& channel : m_channels)
            channel->Stop();
    }

private:
    std::string m_pluginPath;
    Transport m_transport;
    StreamSettings m_stream;
    TransportConfiguration m_configuration;
    PluginLibrary m_plugin;
    CameraSettings m_settings;
    std::vector<std::unique_ptr<LoadChannel>> m_channels;  // before the plug-in goes
};

}  // namespace

int main(int argc, char** argv)
{
    LoadOptions options;
    std::string plugin = TALLOWCAM_DEFAULT_PLUGIN;
    CLI::App app{"Streams N channels from the camera simulator through the driver plug-in"};
    AddLoadOptions(app, options);
    app.add_option("--plugin", plugin, "driver plug-in")->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    DriverReceiver receiver(plugin, options);
    return RunLoad(options, "driver", receiver);
}
