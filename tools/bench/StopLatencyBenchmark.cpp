// Start-to-stop latency of every object that owns a thread: each iteration
// starts the object (and lets it reach its working state), then times only
// the stop. Against the camera simulator on loopback; the channel case uses
// RTSP port 554, as the driver does.
#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "camsim/Camera.h"
#include "camsim/rtsp/RtspServer.h"
#include "capabilities/CanonCapabilityQueryModule.h"
#include "driver/plugin/TallowcamDriver.h"
#include "runtime/QueueThread.h"
#include "streaming/BaseRTSPClient.h"
#include "streaming/IRTPReceiverUser.h"
#include "streaming/RTCPHandler.h"
#include "streaming/RTPReceiver.h"
#include "streaming/UDPClient.h"
#include "support/CapabilityHost.h"
#include "support/DriverHost.h"
#include "support/FakeDriver.h"
#include "support/FrameHost.h"

namespace korvane::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kReadyTimeoutMs = 20000;

bool WaitUntil(const std::function<bool()>& reached, uint32_t timeoutMs = kReadyTimeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!reached()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Runs stop() and records its duration as the iteration's time.
template <typename Stop>
void TimeStop(benchmark::State& state, Stop stop)
{
    const Clock::time_point start = Clock::now();
    stop();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
}

class CIgnoringUser : public IRTSPClientUser, public IRTPClientUser, public IRTPReceiverUser {
public:
    bool SdpInfoReceived(const SdpInfo&) override { return true; }
    void InterleavedPacketReceived(const CRTPPacket&) override { ++packets; }
    void SessionClosed() override {}
    void DataReceived(IRTPClient*, platform::ReceivedDatagram*, size_t) override {}
    void ReceiveTimeout(IRTPClient*) override {}
    void ClientClosed(IRTPClient*) override {}
    void PacketReceived(const RTPPacketRecord&, const CRTPPacket&) override { ++packets; }
    void ReceiveTimeout() override {}
    void ReceiverClosed() override {}

    std::atomic<size_t> packets{0};
};

// A Canon H.264 channel of a driver object opened on the simulated camera:
// StartChannel, the first frame, then StopChannel timed.
void BM_StopChannel(benchmark::State& state)
{
    camsim::CameraOptions options;
    options.rtspPort = 554;
    camsim::Camera camera(options);
    if (!camera.Start()) {
        state.SkipWithError("the camera cannot listen on port 554");
        return;
    }
    RecordingLogSink logSink;
    CFrameHost host;
    host.SetKeepFrames(false);
    SettableDriverParams parameters;
    parameters.deviceAddress.port = camera.HttpPort();
    CTallowcamDriver driver;
    if (!driver.Open(&logSink, &host, &parameters)) {
        state.SkipWithError("the driver did not open");
        return;
    }
    SettableStreamRequest request;
    ipcapture::IIPVideoCapture* video = driver.GetVideoCapture();
    for (auto _ : state) {
        const size_t framesBefore = host.FrameCount();
        if (!video->StartChannel(0, &host, &request) ||
            !WaitUntil([&] { return host.FrameCount() > framesBefore; })) {
            state.SkipWithError("no frame arrived");
            break;
        }
        TimeStop(state, [&] { video->StopChannel(0); });
    }
    driver.Close();
}

// An RTSP session streaming over UDP (the thread waits on its events) or
// interleaved (the thread is blocked reading the connection).
void BM_StopRtspClient(benchmark::State& state, RTSPTransportMode mode)
{
    camsim::RtspServer server;
    if (!server.Start()) {
        state.SkipWithError("the RTSP server did not start");
        return;
    }
    FakeDriver driver;
    RTSPClientSettings settings;
    settings.address = "127.0.0.1";
    settings.serverPort = server.Port();
    settings.path = "stream";
    settings.clientRtpPort = 50000;
    settings.clientRtcpPort = 50001;
    CIgnoringUser user;
    for (auto _ : state) {
        CBaseRTSPClient client(&driver);
        const size_t packetsBefore = server.Recorder().RtpPacketsSent();
        if (!client.Start(settings, &user, mode) ||
            !WaitUntil([&] { return server.Recorder().RtpPacketsSent() > packetsBefore; })) {
            state.SkipWithError("the session did not start streaming");
            break;
        }
        TimeStop(state, [&] { client.Stop(); });
    }
}

// The UDP client's thread waits in select (2 s time-out) on an idle socket.
void BM_StopUdpClient(benchmark::State& state)
{
    CIgnoringUser user;
    for (auto _ : state) {
        CUDPClient client;
        if (!client.OpenUnicast(&user, 0)) {
            state.SkipWithError("the socket did not open");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // into its wait
        TimeStop(state, [&] { client.Close(); });
    }
}

// The receiver: its UDP client and the "RTP Packet Queue" delivery thread.
void BM_StopRtpReceiver(benchmark::State& state)
{
    CIgnoringUser user;
    for (auto _ : state) {
        CRTPReceiver receiver;
        receiver.SetUser(&user);
        if (!receiver.StartUnicast(0, 0)) {
            state.SkipWithError("the receiver did not start");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        TimeStop(state, [&] { receiver.Stop(); });
    }
}

// The "RTCP Handler Thread" and its UDP client.
void BM_StopRtcpHandler(benchmark::State& state)
{
    for (auto _ : state) {
        CRTCPHandler handler;
        if (!handler.StartUnicast(0x7F000001, 0)) {
            state.SkipWithError("the handler did not start");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        TimeStop(state, [&] { handler.Stop(); });
    }
}

struct CWorkItem {
    int value = 0;
};

class CIdleQueue : public CQueueThread<CWorkItem> {
protected:
    void HandleWorkItem(CWorkItem& item) override { benchmark::DoNotOptimize(item.value); }
};

// A work-queue thread (PTZ, audio output, digital output) idle in its 1000 ms wait.
void BM_StopQueueThread(benchmark::State& state)
{
    for (auto _ : state) {
        CIdleQueue queue;
        if (!queue.Start("Benchmark queue")) {
            state.SkipWithError("the queue thread did not start");
            break;
        }
        queue.AddItem(std::make_unique<CWorkItem>(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        TimeStop(state, [&] { queue.Stop(); });
    }
}

// A capability query terminated while its worker is reading the camera.
void BM_TerminateCapabilityQuery(benchmark::State& state)
{
    camsim::Camera camera;
    if (!camera.Start()) {
        state.SkipWithError("the camera did not start");
        return;
    }
    for (auto _ : state) {
        CapabilityHost host;
        CCanonCapabilityQueryModule module(&host, true);
        if (!module.Start("127.0.0.1", camera.HttpPort(), "root", "", &host)) {
            state.SkipWithError("the query did not start");
            break;
        }
        TimeStop(state, [&] { module.Terminate(); });
    }
}

BENCHMARK(BM_StopChannel)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_StopRtspClient, Udp, RTSPTransportMode::UDP)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_CAPTURE(BM_StopRtspClient, Interleaved, RTSPTransportMode::Interleaved)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_StopUdpClient)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_StopRtpReceiver)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_StopRtcpHandler)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_StopQueueThread)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_TerminateCapabilityQuery)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace korvane::test
