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
