// Sessions over real sockets: a socket per client towards the server,
// replies kept apart, idle expiry, the bound on sessions and replies to a
// closed session.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "framework/core/Ipv4Text.h"
#include "link/LinkEngine.h"
#include "tests/link/LinkTestSupport.h"
#include "tests/support/UdpPeer.h"

using namespace std::chrono_literals;

namespace {

// A server that answers each datagram to its sender with "<text>@<sender's port>".
class EchoServer {
public:
    EchoServer()
        : m_thread([this] {
              while (!m_stop) {
                  auto datagram = m_peer.Receive(20ms);
                  if (!datagram)
                      continue;
                  std::string text(datagram->bytes.begin(), datagram->bytes.end());
                  {
                      std::lock_guard lock(m_mutex);
                      m_senders.insert(datagram->fromPort);
                  }
                  m_peer.SendText(text + "@" + std::to_string(datagram->fromPort), datagram->fromPort);
              }
          })
    {
    }
    ~EchoServer()
    {
        m_stop = true;
        m_thread.join();
    }
    unsigned Port() const { return m_peer.Port(); }
    std::set<unsigned> Senders()
    {
        std::lock_guard lock(m_mutex);
        return m_senders;
    }

private:
    UdpPeer m_peer;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::set<unsigned> m_senders;
    std::thread m_thread;
};

class LinkSessionsTest : public ::testing::Test {
protected:
    LinkOptions Options() const
    {
        LinkOptions options;
        options.server = IpEndpoint::V4(0x7F000001, static_cast<std::uint16_t>(m_echo.Port()));
        options.clients = ClientsMode::Each;
        options.seed = 1;
        return options;
    }
    std::unique_ptr<LinkEngine> Run(const LinkOptions& options, const LinkClock& clock)
    {
        auto engine = std::make_unique<LinkEngine>(options, m_log, clock);
        EXPECT_TRUE(engine->Open());
        EXPECT_TRUE(engine->Start());
        return engine;
    }
    std::unique_ptr<LinkEngine> Run(const LinkOptions& options) { return Run(options, m_clock); }

    static std::wstring SessionLine(const UdpPeer& client, const wchar_t* tail)
    {
        return L"Session 127.0.0.1:" + std::to_wstring(client.Port()) + tail;
    }

    EchoServer m_echo;
    LineLog m_log;
    SteadyLinkClock m_clock;
};

}  // namespace

TEST_F(LinkSessionsTest, EachClientHasItsOwnPeerAtTheServerAndOnlyItsOwnReplies)
{
    auto engine = Run(Options());
    constexpr int kClients = 12, kEach = 5;
    std::vector<std::unique_ptr<UdpPeer>> clients;
    for (int c = 0; c < kClients; ++c)
        clients.push_back(std::make_unique<UdpPeer>());
    for (int k = 0; k < kEach; ++k)
        for (int c = 0; c < kClients; ++c)
            ASSERT_GT(clients[c]->SendText("c" + std::to_string(c) + "." + std::to_string(k), engine->ListenPort()), 0);
    std::map<std::string, std::set<std::string>> portsSeenBy;
    for (int c = 0; c < kClients; ++c) {
        for (int k = 0; k < kEach; ++k) {
            const auto reply = clients[c]->ReceiveText();
            ASSERT_TRUE(reply) << "client " << c;
            const auto at = reply->find('@');
            EXPECT_EQ(reply->substr(0, reply->find('.')), "c" + std::to_string(c));
            portsSeenBy[reply->substr(at + 1)].insert("c" + std::to_string(c));
        }
        EXPECT_FALSE(clients[c]->ReceiveText(1ms));
    }
    EXPECT_EQ(portsSeenBy.size(), static_cast<size_t>(kClients));  // a distinct peer per client
    for (const auto& [port, who] : portsSeenBy)
        EXPECT_EQ(who.size(), 1u);
    EXPECT_EQ(m_echo.Senders().count(engine->ListenPort()), 0u);
    const auto stats = engine->Stats();
    EXPECT_EQ(stats.Of(EngineCounter::SessionsOpened), static_cast<unsigned>(kClients));
    EXPECT_EQ(stats.sessionsOpen, static_cast<unsigned>(kClients));
    EXPECT_EQ(m_log.CountStartingWith(L"Session 127.0.0.1:"), static_cast<size_t>(kClients));
}

TEST_F(LinkSessionsTest, AnIdleSessionClosesAndTheClientLaterGetsANewOne)
{
    LinkOptions options = Options();
    options.sessionIdleSeconds = 0.2;
    auto engine = Run(options);
    UdpPeer client;
    ASSERT_GT(client.SendText("one", engine->ListenPort()), 0);
    EXPECT_EQ(client.ReceiveText().value_or("").substr(0, 4), "one@");
    EXPECT_TRUE(m_log.WaitFor(SessionLine(client, L" closed, idle.")));
    EXPECT_EQ(engine->Stats().Of(EngineCounter::SessionsClosedIdle), 1u);
    ASSERT_GT(client.SendText("two", engine->ListenPort()), 0);
    EXPECT_EQ(client.ReceiveText().value_or("").substr(0, 4), "two@");
    EXPECT_EQ(engine->Stats().Of(EngineCounter::SessionsOpened), 2u);
}

TEST_F(LinkSessionsTest, IdleTimeComesFromTheClockAndOnlyTheIdleOneCloses)
{
    FakeClock clock;
    LinkOptions options = Options();
    options.sessionIdleSeconds = 60;
    auto engine = Run(options, clock);
    UdpPeer early, late;
    ASSERT_GT(early.SendText("early", engine->ListenPort()), 0);
    ASSERT_TRUE(early.ReceiveText());
    clock.Advance(30s);
    ASSERT_GT(late.SendText("late", engine->ListenPort()), 0);
    ASSERT_TRUE(late.ReceiveText());
    clock.Advance(31s);  // early idle 61 s, late 31 s
    ASSERT_GT(late.SendText("again", engine->ListenPort()), 0);
    ASSERT_TRUE(late.ReceiveText());
    EXPECT_TRUE(m_log.WaitFor(SessionLine(early, L" closed, idle.")));
    EXPECT_EQ(m_log.Count(SessionLine(late, L" closed, idle.")), 0u);
    EXPECT_EQ(engine->Stats().sessionsOpen, 1u);
}

TEST_F(LinkSessionsTest, TheBoundClosesTheSessionIdleLongest)
{
    LinkOptions options = Options();
    options.maxSessions = 3;
    auto engine = Run(options);
    std::vector<std::unique_ptr<UdpPeer>> clients;
    for (int c = 0; c < 4; ++c) {
        clients.push_back(std::make_unique<UdpPeer>());
        if (c == 3) {  // the first one speaks again: the second is now idle longest
            ASSERT_GT(clients[0]->SendText("again", engine->ListenPort()), 0);
            ASSERT_TRUE(clients[0]->ReceiveText());
        }
        ASSERT_GT(clients[c]->SendText("hi", engine->ListenPort()), 0);
        ASSERT_TRUE(clients[c]->ReceiveText());
    }
    EXPECT_EQ(m_log.Count(SessionLine(*clients[1], L" closed, too many sessions.")), 1u);
    const auto stats = engine->Stats();
    EXPECT_EQ(stats.Of(EngineCounter::SessionsClosedLimit), 1u);
    EXPECT_EQ(stats.sessionsOpen, 3u);
}

TEST_F(LinkSessionsTest, AReplyWaitingForAClosedSessionIsCountedAndDropped)
{
    LinkOptions options = Options();
    options.maxSessions = 1;
    options.direction = LinkDirection::ToClient;
    options.pipeline = true;
    options.delayMs = 2000;
    auto engine = Run(options);
    UdpPeer first, second;
    ASSERT_GT(first.SendText("first", engine->ListenPort()), 0);
    ASSERT_TRUE(WaitUntil([&] { return engine->Stats().waiting == 1; }));  // the reply, held 2 s
    ASSERT_GT(second.SendText("second", engine->ListenPort()), 0);  // takes the only session
    EXPECT_EQ(second.ReceiveText(5000ms).value_or("").substr(0, 7), "second@");
    EXPECT_TRUE(m_log.WaitFor(L"Session closed, dropped."));
    EXPECT_EQ(engine->Stats().Of(EngineCounter::ClosedSessionDrops), 1u);
    EXPECT_FALSE(first.ReceiveText(10ms));
}

TEST_F(LinkSessionsTest, OneAddressHoldsAtMostItsShareOfSessions)
{
    LinkOptions options = Options();
    options.sessionsPerAddress = 2;
    auto engine = Run(options);
    UdpPeer first, second, third;
    for (UdpPeer* client : {&first, &second}) {
        ASSERT_GT(client->SendText("in", engine->ListenPort()), 0);
        ASSERT_TRUE(client->ReceiveText());
    }
    ASSERT_GT(third.SendText("one too many", engine->ListenPort()), 0);
    EXPECT_TRUE(m_log.WaitFor(SessionLine(third, L" not opened: too many sessions from its address.")));
    EXPECT_EQ(engine->Stats().Of(EngineCounter::SessionsRefused), 1u);
#ifndef _WIN32  // Wine sends from 127.0.0.1 whatever loopback address a socket is bound to
    UdpPeer elsewhere(L"127.0.0.2");
    ASSERT_GT(elsewhere.SendText("another host", engine->ListenPort()), 0);
    EXPECT_TRUE(elsewhere.ReceiveText());
    EXPECT_EQ(engine->Stats().sessionsOpen, 3u);
#endif
}
