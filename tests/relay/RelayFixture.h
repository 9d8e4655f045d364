#pragma once
// A running relay on 127.0.0.1 with a real server peer, its log in memory.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "relay/RelayState.h"
#include "relay/RelayWorker.h"
#include "framework/core/SocketTypes.h"
#include "tests/support/TestLogHost.h"
#include "tests/support/UdpPeer.h"

class RelayFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(AfxSocketInit());
        ASSERT_TRUE(m_server.IsOpen());
        ASSERT_TRUE(g_relaySocket.Create(0, SOCK_DGRAM, FD_READ, L"127.0.0.1"));
        m_relayPort = g_relaySocket.GetLocalPort();
        g_nCount = 1;
        g_relaySocket.m_nMissCount = 0;
        g_relaySocket.m_nDelay = 0;
        g_relaySocket.m_strServerAddr = m_server.Address();
        g_relaySocket.m_nServerPort = static_cast<std::int32_t>(m_server.Port());
        g_relaySocket.m_strClientAddr = CString();
        g_relaySocket.m_nClientPort = 0;
    }

    void TearDown() override
    {
        g_relayWorker.Stop();
        g_relaySocket.Close();
    }

    void StartRelay(std::int32_t missCount = 0, std::int32_t delay = 0)
    {
        g_relaySocket.m_nMissCount = missCount;
        g_relaySocket.m_nDelay = delay;
        ASSERT_TRUE(g_relayWorker.Launch(m_host));
    }

    // Client datagrams with bodies "0", "1", ... sent one after another.
    void SendNumbered(UdpPeer& client, int count, int first = 0)
    {
        for (int i = first; i < first + count; ++i)
            ASSERT_GT(client.SendText(std::to_string(i), m_relayPort), 0);
    }

    // The next `count` datagrams the server gets, as texts (fewer if they
    // do not come within the generous deadline each).
    std::vector<std::string> ServerReceives(size_t count)
    {
        std::vector<std::string> got;
        while (got.size() < count) {
            auto text = m_server.ReceiveText();
            if (!text)
                break;
            got.push_back(*text);
        }
        return got;
    }

    // Whatever is still waiting for the server. Call it once the relay has
    // decided every datagram (its log lines are in): what it forwarded was
    // sent before its line was written, so it is in the server's queue by then.
    std::vector<std::string> ServerReceivesTheRest()
    {
        std::vector<std::string> got;
        while (auto text = m_server.ReceiveText(std::chrono::milliseconds(100)))
            got.push_back(*text);
        return got;
    }

    // Waits until the worker has taken every datagram from the relay's
    // socket: one that it holds in a pause is no longer waiting there.
    bool WaitUntilRelayTookEverything()
    {
        const auto deadline = std::chrono::steady_clock::now() + kArrivalDeadline;
        while (PendingBytes(g_relaySocket) > 0) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    TestLogHost m_host;
    UdpPeer m_server;
    unsigned m_relayPort = 0;
};
