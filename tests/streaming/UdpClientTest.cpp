#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "streaming/UDPClient.h"
#include "support/FakeDriver.h"
#include "UdpTestPeer.h"

namespace korvane {
namespace {

using Bytes = std::vector<uint8_t>;

class RecordingClientUser : public IRTPClientUser {
public:
    void DataReceived(IRTPClient*, const platform::IPv4Endpoint& sender, const uint8_t* data,
                      size_t length) override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_datagrams.emplace_back(data, data + length);
        m_senders.push_back(sender);
    }
    void ReceiveTimeout(IRTPClient*) override { ++timeouts; }
    void ClientClosed(IRTPClient*) override { ++closed; }

    size_t Count()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_datagrams.size();
    }
    Bytes Datagram(size_t index)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_datagrams.at(index);
    }
    platform::IPv4Endpoint Sender(size_t index)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_senders.at(index);
    }

    std::atomic<int> timeouts{0};
    std::atomic<int> closed{0};

private:
    std::mutex m_mutex;
    std::vector<Bytes> m_datagrams;
    std::vector<platform::IPv4Endpoint> m_senders;
};

TEST(UdpClient, ReceivesUnicastDatagramsWithTheirSenderOnAPortOfItsOwn)
{
    test::FakeDriver driver;
    RecordingClientUser user;
    CUDPClient client(&driver);
    ASSERT_TRUE(client.OpenUnicast(&user, 0));
    const uint16_t port = client.GetPort();
    ASSERT_NE(port, 0);
    EXPECT_FALSE(client.OpenUnicast(&user, 0));  // already open

    test::UdpTestPeer peer;
    ASSERT_TRUE(peer.Send(port, {1, 2, 3}));
    ASSERT_TRUE(peer.Send(port, Bytes(3000, 0xAB)));
    ASSERT_TRUE(test::WaitUntil([&] { return user.Count() == 2; }));
    EXPECT_EQ(user.Datagram(0), (Bytes{1, 2, 3}));
    EXPECT_EQ(user.Datagram(1), Bytes(3000, 0xAB));
    EXPECT_EQ(user.Sender(0).address, test::kLoopback);
    EXPECT_EQ(user.Sender(0).port, peer.Port());
    // Another client on the occupied port fails, as does one without a user.
    CUDPClient second;
    EXPECT_FALSE(second.OpenUnicast(&user, port));
    EXPECT_EQ(second.GetPort(), 0);
    EXPECT_FALSE(second.OpenUnicast(nullptr, 0));

    EXPECT_TRUE(client.Close());
    EXPECT_EQ(user.closed, 1);
    EXPECT_EQ(client.GetPort(), 0);
    EXPECT_TRUE(client.Close());
    EXPECT_EQ(user.closed, 1);  // reported once
}

TEST(UdpClient, EnlargesTheReceiveSizeAfterAnOversizedDatagram)
{
    RecordingClientUser user;
    CUDPClient client;
    client.SetReceiveSize(1000);
    ASSERT_TRUE(client.OpenUnicast(&user, 0));
    test::UdpTestPeer peer;
    ASSERT_TRUE(peer.Send(client.GetPort(), Bytes(1500, 1)));  // lost, but makes room
    ASSERT_TRUE(peer.Send(client.GetPort(), Bytes(1500, 2)));
    ASSERT_TRUE(test::WaitUntil([&] { return user.Count() == 1; }));
    EXPECT_EQ(user.Datagram(0), Bytes(1500, 2));
}

TEST(UdpClient, ReportsReceiveTimeoutsAndCanBeReopened)
{
    RecordingClientUser user;
    CUDPClient client;
    client.SetSelectTimeout(20);
    ASSERT_TRUE(client.OpenUnicast(&user, 0));
    EXPECT_TRUE(test::WaitUntil([&] { return user.timeouts >= 2; }));
    EXPECT_TRUE(client.Close());

    ASSERT_TRUE(client.OpenUnicast(&user, 0));
    test::UdpTestPeer peer;
    ASSERT_TRUE(peer.Send(client.GetPort(), {7}));
    EXPECT_TRUE(test::WaitUntil([&] { return user.Count() == 1; }));
}

TEST(UdpClient, CloseEndsAWaitLongBeforeItsTimeOut)
{
    test::FakeDriver driver;
    RecordingClientUser user;
    CUDPClient client(&driver);
    client.SetSelectTimeout(60000);
    ASSERT_TRUE(client.OpenUnicast(&user, 0));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(client.Close());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_FALSE(driver.HasLineContaining("was not stopped"));
    EXPECT_EQ(user.timeouts, 0);
}

TEST(UdpClient, CloseFromItsOwnCallbackDoesNotWaitForItself)
{
    class ClosingUser : public RecordingClientUser {
    public:
        void ReceiveTimeout(IRTPClient* client) override
        {
            RecordingClientUser::ReceiveTimeout(client);
            closeResult = client->Close() ? 1 : 0;
        }
        std::atomic<int> closeResult{-1};
    } user;
    CUDPClient client;
    client.SetSelectTimeout(10);
    ASSERT_TRUE(client.OpenUnicast(&user, 0));
    ASSERT_TRUE(test::WaitUntil([&] { return user.closeResult != -1; }));
    EXPECT_EQ(user.closeResult, 0);  // a thread cannot stop itself
    EXPECT_EQ(user.closed, 1);
    EXPECT_EQ(client.GetPort(), 0);
    EXPECT_TRUE(test::WaitUntil([&] { return client.OpenUnicast(&user, 0); }));
}

TEST(UdpClient, ReceivesMulticastOnLoopbackAndRejectsAnInvalidGroup)
{
    RecordingClientUser first;
    RecordingClientUser second;
    CUDPClient a;
    CUDPClient b;
    test::UdpTestPeer probe;
    const uint16_t port = probe.Port();  // a free port to share
    probe.Socket().Close();
    ASSERT_TRUE(a.OpenMulticast(&first, "239.255.42.1", port));
    ASSERT_TRUE(b.OpenMulticast(&second, "239.255.42.1", port));  // the group's port is shared

    test::UdpTestPeer sender;
    ASSERT_TRUE(sender.Send(port, {4, 2}, platform::ParseIPv4("239.255.42.1")));
    EXPECT_TRUE(test::WaitUntil([&] { return first.Count() == 1 && second.Count() == 1; }));
    EXPECT_EQ(first.Datagram(0), (Bytes{4, 2}));
    EXPECT_EQ(second.Datagram(0), (Bytes{4, 2}));

    CUDPClient invalid;
    EXPECT_FALSE(invalid.OpenMulticast(&first, "239.1.300.1", 0));
    EXPECT_FALSE(invalid.OpenMulticast(&first, nullptr, 0));
    EXPECT_EQ(invalid.GetPort(), 0);
}

}  // namespace
}  // namespace korvane
