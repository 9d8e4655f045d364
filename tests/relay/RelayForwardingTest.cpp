// The worker's routing: client datagrams to the server, server datagrams to
// the last client, bytes unchanged, the odd datagrams skipped.

#include "tests/relay/RelayFixture.h"

using namespace std::chrono_literals;

using RelayForwarding = RelayFixture;

TEST_F(RelayForwarding, CarriesBinaryPayloadsBothWaysByteExactWithoutLogging)
{
    StartRelay();
    UdpPeer client;
    for (size_t size : {size_t{1}, size_t{1400}, size_t{15000}}) {
        const auto request = RandomBytes(size, static_cast<std::uint32_t>(size));
        ASSERT_EQ(client.SendTo(request, m_relayPort), static_cast<int>(size));
        auto atServer = m_server.Receive();
        ASSERT_TRUE(atServer);
        EXPECT_EQ(atServer->bytes, request);

        const auto reply = RandomBytes(size, static_cast<std::uint32_t>(size) + 7);
        ASSERT_EQ(m_server.SendTo(reply, m_relayPort), static_cast<int>(size));
        auto atClient = client.Receive();
        ASSERT_TRUE(atClient);
        EXPECT_EQ(atClient->bytes, reply);
        EXPECT_EQ(atClient->fromPort, m_relayPort);
    }
    EXPECT_TRUE(m_host.Text().IsEmpty());
}

TEST_F(RelayForwarding, DiscardsDatagramLongerThanItsBufferAndKeepsGoing)
{
    StartRelay();
    UdpPeer client;
    ASSERT_GT(client.SendTo(RandomBytes(15001, 1), m_relayPort), 0);
    ASSERT_GT(client.SendText("after", m_relayPort), 0);
    EXPECT_EQ(m_server.ReceiveText(), "after");  // the relay takes them in order: nothing came before
    EXPECT_TRUE(ServerReceivesTheRest().empty());
}

TEST_F(RelayForwarding, EmptyDatagramIsNeitherForwardedNorRememberedAsClient)
{
    StartRelay();
    UdpPeer first;
    UdpPeer second;
    ASSERT_GT(first.SendText("hello", m_relayPort), 0);
    ASSERT_EQ(m_server.ReceiveText(), "hello");
    ASSERT_EQ(second.SendTo({}, m_relayPort), 0);
    ASSERT_GT(m_server.SendText("reply", m_relayPort), 0);

    EXPECT_EQ(first.ReceiveText(), "reply");
    EXPECT_FALSE(second.ReceiveText(200ms));
    EXPECT_FALSE(m_server.ReceiveText(100ms));
}

TEST_F(RelayForwarding, ServerDatagramBeforeAnyClientIsLost)
{
    StartRelay();
    ASSERT_GT(m_server.SendText("too early", m_relayPort), 0);
    UdpPeer client;
    ASSERT_GT(client.SendText("hi", m_relayPort), 0);
    ASSERT_EQ(m_server.ReceiveText(), "hi");
    EXPECT_FALSE(client.ReceiveText(200ms));
}

TEST_F(RelayForwarding, RepliesGoToTheMostRecentClientOnly)
{
    StartRelay();
    UdpPeer older;
    UdpPeer newer;
    ASSERT_GT(older.SendText("a", m_relayPort), 0);
    ASSERT_EQ(m_server.ReceiveText(), "a");
    ASSERT_GT(newer.SendText("b", m_relayPort), 0);
    ASSERT_EQ(m_server.ReceiveText(), "b");
    ASSERT_GT(m_server.SendText("reply", m_relayPort), 0);

    EXPECT_EQ(newer.ReceiveText(), "reply");
    EXPECT_FALSE(older.ReceiveText(200ms));
}

TEST_F(RelayForwarding, ServerAddressWithAnotherPortIsAClient)
{
    StartRelay();
    UdpPeer impostor(m_server.Address().GetString());
    ASSERT_NE(impostor.Port(), m_server.Port());
    ASSERT_GT(impostor.SendText("from a neighbour", m_relayPort), 0);
    EXPECT_EQ(m_server.ReceiveText(), "from a neighbour");
    ASSERT_GT(m_server.SendText("back", m_relayPort), 0);
    EXPECT_EQ(impostor.ReceiveText(), "back");
}

TEST_F(RelayForwarding, ServerPortBeyond16BitsNeverMatchesSoServerCountsAsClient)
{
    // The low 16 bits still reach the wire, the comparison uses all 32.
    g_relaySocket.m_nServerPort = static_cast<std::int32_t>(m_server.Port() + 0x10000);
    StartRelay();
    UdpPeer client;
    ASSERT_GT(client.SendText("up", m_relayPort), 0);
    ASSERT_EQ(m_server.ReceiveText(), "up");
    ASSERT_GT(m_server.SendText("down", m_relayPort), 0);
    // Treated as a client datagram: sent to the server (itself), not to the client.
    EXPECT_EQ(m_server.ReceiveText(), "down");
    EXPECT_FALSE(client.ReceiveText(200ms));
}

TEST_F(RelayForwarding, SurvivesAnAbsentServerAndRecoversWhenItAppears)
{
    const unsigned serverPort = m_server.Port();
    m_server.Close();
    StartRelay(1000);  // counting, so that the log says when each was sent
    UdpPeer client;
    SendNumbered(client, 5);  // to a port nobody listens on
    ASSERT_TRUE(m_host.WaitForLines(5));

    CAsyncSocket returning;
    ASSERT_TRUE(returning.Create(serverPort, SOCK_DGRAM, FD_READ, L"127.0.0.1"));
    ASSERT_GT(client.SendText("again", m_relayPort), 0);
    std::vector<unsigned char> buffer(100);
    CString from;
    unsigned fromPort = 0;
    int received = -1;
    const auto deadline = std::chrono::steady_clock::now() + kArrivalDeadline;
    while (received < 0 && std::chrono::steady_clock::now() < deadline) {
        received = returning.ReceiveFrom(buffer.data(), 100, from, fromPort);
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(received, 5);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 5), "again");
}

TEST_F(RelayForwarding, StopEndsAWaitingWorkerAtOnce)
{
    StartRelay();
    const auto before = std::chrono::steady_clock::now();
    g_relayWorker.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s) << "a waiting worker must wake for a stop";
    EXPECT_FALSE(g_relayWorker.IsRunning());
}
