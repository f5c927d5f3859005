#pragma once
// A leaf RTSP channel for the tests and a fixture that connects it to the
// simulated camera on loopback, with short device time-outs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "camsim/rtsp/RtspServer.h"
#include "channels/BaseRTSPChannel.h"
#include "platform/Network.h"
#include "platform/UdpSocket.h"
#include "support/FakeDriver.h"
#include "support/FrameHost.h"
#include "support/ScratchDirectory.h"
#include "support/WaitUntil.h"

namespace korvane::test {

constexpr uint32_t kConnectTimeoutMs = 1000;  // C of the device record
constexpr uint32_t kReceiveTimeoutMs = 2000;  // R: also the signal-lost time
constexpr uint32_t kWaitMs = 10000;           // deadline of the polling waits

template <typename Condition>
bool WaitUntil(Condition condition)
{
    return WaitUntil(condition, kWaitMs);
}

// Sends minimal RTP packets to a loopback port, from one loopback address.
class RtpSender {
public:
    explicit RtpSender(const char* from = "127.0.0.1")
    {
        m_socket.Create();
        m_socket.Bind(0, platform::ParseIPv4(from));
    }
    void Send(uint16_t port, uint16_t sequence)
    {
        const uint8_t packet[16] = {0x80, 96, static_cast<uint8_t>(sequence >> 8), static_cast<uint8_t>(sequence)};
        m_socket.SendTo({platform::ParseIPv4("127.0.0.1"), port}, packet, sizeof packet);
    }

private:
    platform::UdpSocket m_socket;
};

// Connects to the simulated camera; its camera settings only count, and can
// be made to fail or to take a while (a slow camera).
class CTestRTSPChannel : public CBaseRTSPChannel {
public:
    CTestRTSPChannel(IDriver* driver, ipcapture::IFrameSink* sink, uint16_t serverPort)
        : CBaseRTSPChannel(0, driver, sink), m_serverPort(serverPort)
    {
    }
    ~CTestRTSPChannel() override { Stop(); }

    void SetHostInfo(uint32_t) override {}

    using CBaseRTSPChannel::ChangeSettings;

    std::atomic<int> applyCount{0};
    std::atomic<bool> applyResult{true};
    std::atomic<uint32_t> applyDelayMs{0};

protected:
    bool ApplyParams() override
    {
        ++applyCount;
        if (applyDelayMs != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(applyDelayMs.load()));
        return applyResult;
    }
    void FillStreamSettings(RTSPClientSettings& settings) override
    {
        settings.serverPort = m_serverPort;
        settings.path = "stream";
    }

private:
    uint16_t m_serverPort;
};

class ChannelTest : public ::testing::Test {
protected:
    ChannelTest()
    {
        driver.allocator = &host;
        driver.hostDirectory = scratch.Path();
        driver.deviceInfo.requestTimeoutMs = kConnectTimeoutMs;
        driver.deviceInfo.secondTimeoutMs = kReceiveTimeoutMs;
    }

    // The configuration file with these elements.
    void WriteConfiguration(const std::string& elements)
    {
        scratch.WriteFile("Tallowcam.xml", "<Configuration>" + elements + "</Configuration>");
    }

    std::unique_ptr<CTestRTSPChannel> StartChannel(uint32_t streamNumber = kStreamRec)
    {
        auto channel = std::make_unique<CTestRTSPChannel>(&driver, &host, server.Port());
        EXPECT_TRUE(channel->Start({0x7000 + 25, 50, 640, 480, kCodecH264, streamNumber}));
        return channel;
    }

    bool WaitForFrames(size_t count, uint32_t timeoutMs = kWaitMs)
    {
        return WaitUntil([&] { return host.FrameCount() >= count; }, timeoutMs);
    }

    std::vector<std::string> RequestsOf(const std::string& method) const
    {
        std::vector<std::string> found;
        for (const std::string& request : server.Recorder().Requests())
            if (request.rfind(method + " ", 0) == 0)
                found.push_back(request);
        return found;
    }

    bool WaitForRequests(const std::string& method, size_t count, uint32_t timeoutMs = kWaitMs)
    {
        return WaitUntil([&] { return RequestsOf(method).size() >= count; }, timeoutMs);
    }

    FakeDriver driver;
    CFrameHost host;
    ScratchDirectory scratch;
    camsim::RtspServer server;
};

}  // namespace korvane::test
