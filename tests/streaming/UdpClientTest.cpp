#include <gtest/gtest.h>

#include <chrono>

#include "streaming/UDPClient.h"
#include "support/FakeDriver.h"
#include "StreamTestSupport.h"

namespace korvane::test {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(UdpClient, ReceivesUnicastDatagramsWithTheirSenderOnAPortOfItsOwn)
{
    FakeDriver driver;
    RecordingStreamUser user;
    CUDPClient client(&driver);
    ASSERT_TRUE(client.OpenUnicast(&user, 0));
    const uint16_t port = client.GetPort();
    ASSERT_NE(port, 0);
    EXPECT_FALSE(client.OpenUnicast(&user, 0));  // already open

    UdpTestPeer peer;
    ASSERT_TRUE(peer.Send(port, {1, 2, 3}));
    ASSERT_TRUE(peer.Send(port, Bytes(3000, 0xAB)));
    ASSERT_TRUE(WaitUntil([&] { return user.Count() == 2; }));
    EXPECT_EQ(user.At(0).payload, (Bytes{1, 2, 3}));
    EXPECT_EQ(user.At(1).payload, Bytes(3000, 0xAB));
    EXPECT_EQ(user.At(0).sender.address, kLoopback);
    EXPECT_EQ(user.At(0).sender.port, peer.Port());
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

    // Reopened with a small receive size: an oversized datagram is lost, but makes room for the next.
    client.SetReceiveSize(1000);
    ASSERT_TRUE(client.OpenUnicast(&user, 0));
    ASSERT_TRUE(peer.Send(client.GetPort(), Bytes(1500, 1)));
    ASSERT_TRUE(peer.Send(client.GetPort(), Bytes(1500, 2)));
    ASSERT_TRUE(WaitUntil([&] { return user.Count() == 3; }));
    EXPECT_EQ(user.At(2).payload, Bytes(1500, 2));
}

TEST(UdpClient, ReportsReceiveTimeoutsAndCloseEndsAWaitLongBeforeItsTimeOut)
{
    FakeDriver driver;
    RecordingStreamUser user;
    CUDPClient client(&driver);
    client.SetSelectTimeout(20);
    ASSERT_TRUE(client.OpenUnicast(&user, 0));
    EXPECT_TRUE(WaitUntil([&] { return user.timeouts >= 2; }));
    EXPECT_TRUE(client.Close());

    client.SetSelectTimeout(60000);
    ASSERT_TRUE(client.OpenUnicast(&user, 0));
    UdpTestPeer peer;
    ASSERT_TRUE(peer.Send(client.GetPort(), {7}));
    EXPECT_TRUE(WaitUntil([&] { return user.Count() == 1; }));
    const int timeouts = user.timeouts;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(client.Close());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_FALSE(driver.HasLineContaining("was not stopped"));
    EXPECT_EQ(user.timeouts, timeouts);
}

TEST(UdpClient, CloseFromItsOwnCallbackDoesNotWaitForItself)
{
    class ClosingUser : public RecordingStreamUser {
    public:
        void ReceiveTimeout(IRTPClient* client) override
        {
            RecordingStreamUser::ReceiveTimeout(client);
            closeResult = client->Close() ? 1 : 0;
        }
        std::atomic<int> closeResult{-1};
    } user;
    CUDPClient client;
    client.SetSelectTimeout(10);
    ASSERT_TRUE(client.OpenUnicast(&user, 0));
    ASSERT_TRUE(WaitUntil([&] { return user.closeResult != -1; }));
    EXPECT_EQ(user.closeResult, 0);  // a thread cannot stop itself
    EXPECT_EQ(user.closed, 1);
    EXPECT_EQ(client.GetPort(), 0);
    EXPECT_TRUE(WaitUntil([&] { return client.OpenUnicast(&user, 0); }));
}

TEST(UdpClient, ReceivesMulticastOnLoopbackAndRejectsAnInvalidGroup)
{
    RecordingStreamUser first;
    RecordingStreamUser second;
    CUDPClient a;
    CUDPClient b;
    UdpTestPeer probe;
    const uint16_t port = probe.Port();  // a free port to share
    probe.Socket().Close();
    ASSERT_TRUE(a.OpenMulticast(&first, "239.255.42.1", port));
    ASSERT_TRUE(b.OpenMulticast(&second, "239.255.42.1", port));  // the group's port is shared

    UdpTestPeer sender;
    ASSERT_TRUE(sender.Send(port, {4, 2}, platform::ParseIPv4("239.255.42.1")));
    EXPECT_TRUE(WaitUntil([&] { return first.Count() == 1 && second.Count() == 1; }));
    EXPECT_EQ(first.At(0).payload, (Bytes{4, 2}));
    EXPECT_EQ(second.At(0).payload, (Bytes{4, 2}));

    CUDPClient invalid;
    EXPECT_FALSE(invalid.OpenMulticast(&first, "239.1.300.1", 0));
    EXPECT_FALSE(invalid.OpenMulticast(&first, nullptr, 0));
    EXPECT_EQ(invalid.GetPort(), 0);
}

}  // namespace
}  // namespace korvane::test
