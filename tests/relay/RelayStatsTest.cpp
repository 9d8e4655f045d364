// The worker's own counters: each datagram counted once, by where it came
// from and what became of it.

#include "tests/relay/RelayFixture.h"

using namespace std::chrono_literals;

namespace {

// Waits (bounded) until the counter reaches the value.
bool WaitFor(const RelayStats::Counter& counter, std::uint64_t value)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (counter.load() < value) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

}  // namespace

using RelayCounters = RelayFixture;

TEST_F(RelayCounters, CountEveryDatagramOnceByWhatBecameOfIt)
{
    StartRelay(2);  // every second client datagram is dropped
    const RelayStats& stats = g_relayWorker.Stats();
    m_server.SendText("before any client", m_relayPort);
    ASSERT_TRUE(WaitFor(stats.lostReplies, 1));

    UdpPeer client;
    SendNumbered(client, 4);
    ASSERT_GT(client.SendTo(RandomBytes(kRelayBufferSize + 1, 7), m_relayPort), 0);
    ASSERT_GE(client.SendTo({}, m_relayPort), 0);  // empty: skipped, not counted
    SendNumbered(client, 1, 4);
    EXPECT_EQ(ServerReceives(3), (std::vector<std::string>{"0", "2", "4"}));
    m_server.SendText("reply", m_relayPort);
    EXPECT_EQ(client.ReceiveText(), "reply");
    ASSERT_TRUE(WaitFor(stats.toClient, 1));

    EXPECT_EQ(stats.fromClients.load(), 5u);
    EXPECT_EQ(stats.toServer.load(), 3u);
    EXPECT_EQ(stats.dropped.load(), 2u);
    EXPECT_EQ(stats.fromServer.load(), 2u);
    EXPECT_EQ(stats.toClient.load(), 1u);
    EXPECT_EQ(stats.lostReplies.load(), 1u);
    EXPECT_EQ(stats.tooLong.load(), 1u);
}

TEST_F(RelayCounters, ADatagramFromTheRelaysOwnSocketIsDroppedInsteadOfLooping)
{
    // With an echoing server it would come back from the relay itself, be
    // sent on, and come back again, without end.
    StartRelay();
    const RelayStats& stats = g_relayWorker.Stats();
    const std::string body = "from itself";
    ASSERT_GT(g_relaySocket.SendTo(body.data(), static_cast<int>(body.size()), m_relayPort, L"127.0.0.1"), 0);
    ASSERT_TRUE(WaitFor(stats.ownAddress, 1));
    UdpPeer client;
    SendNumbered(client, 1);
    EXPECT_EQ(ServerReceives(1), std::vector<std::string>{"0"});
    EXPECT_EQ(stats.fromClients.load(), 1u);
    EXPECT_EQ(stats.ownAddress.load(), 1u);
}

TEST_F(RelayCounters, SendsTheSystemRefusesAreCountedSoTheCountsAddUp)
{
    g_relaySocket.m_nServerPort = 0;  // no datagram can be sent to port 0
    StartRelay(3);
    const RelayStats& stats = g_relayWorker.Stats();
    UdpPeer client;
    SendNumbered(client, 6);
    ASSERT_TRUE(WaitFor(stats.sendFailed, 4));
    ASSERT_TRUE(WaitFor(stats.dropped, 2));
    EXPECT_EQ(stats.fromClients.load(), stats.toServer.load() + stats.dropped.load() + stats.sendFailed.load());
}
