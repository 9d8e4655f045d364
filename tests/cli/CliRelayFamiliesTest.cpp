// dulvet's relay engine (the dialog's, behind the console program) between
// IPv4 and IPv6 over real loopback sockets: each family, mixed families
// both ways, and a name's several addresses listened on at once.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/CliRelayEngine.h"
#include "framework/core/SocketAddress.h"
#include "relay/LogHost.h"
#include "tests/support/Ipv6Loopback.h"
#include "tests/support/RelayRoundTrip.h"
#include "tests/support/UdpPeer.h"

namespace {

class NoLog final : public LogHost {
public:
    void AppendLog(const CString&) override {}
    void ScrollLogToEnd() override {}
};

IpEndpoint At(const wchar_t* address, unsigned port) { return *EndpointOfText(address, port); }

std::uint64_t Counter(const EngineStats& stats, const std::string& name)
{
    for (const NamedCounter& counter : stats)
        if (counter.name == name)
            return counter.value;
    return ~std::uint64_t{0};
}

// The relay engine listening on the addresses at one port (free a moment
// ago; another on a clash), in front of the server.
class RunningRelay {
public:
    RunningRelay(const std::vector<const wchar_t*>& listen, const UdpPeer& server)
    {
        for (int attempt = 0; attempt < 5 && !m_started; ++attempt) {
            m_port = UdpPeer(listen.front()).Port();
            CliOptions options;
            options.link.listen.clear();
            for (const wchar_t* address : listen)
                options.link.listen.push_back(At(address, m_port));
            options.link.server = At(server.Address().GetString(), server.Port());
            m_engine = std::make_unique<CliRelayEngine>(options);
            std::string error;
            m_started = m_engine->Open(error) && m_engine->Start(m_log, m_log, error);
            m_error = error;
        }
    }
    ~RunningRelay() { m_engine->Stop(); }

    bool Started() const { return m_started; }
    const std::string& Error() const { return m_error; }
    unsigned Port() const { return m_port; }
    CliRelayEngine& Engine() { return *m_engine; }

private:
    NoLog m_log;
    std::unique_ptr<CliRelayEngine> m_engine;
    unsigned m_port = 0;
    bool m_started = false;
    std::string m_error;
};

}  // namespace

TEST(CliRelayFamilies, RelaysEachFamilyBetweenThemAndOnEveryAddressOfAName)
{
    SKIP_WITHOUT_IPV6();
    struct Case {
        std::vector<const wchar_t*> listen;  // a name's addresses, in the resolver's order
        const wchar_t* server;
        std::vector<const wchar_t*> clients;  // one at each, sending to its own family's address
    };
    const Case cases[] = {
        {{L"::1"}, L"::1", {L"::1"}},
        {{L"::1"}, L"127.0.0.1", {L"::1"}},
        {{L"127.0.0.1"}, L"::1", {L"127.0.0.1"}},
        // The server through the second listening socket, then each client
        // answered through the socket it used.
        {{L"::1", L"127.0.0.1"}, L"127.0.0.1", {L"127.0.0.1", L"::1"}},
        {{L"127.0.0.1", L"::1"}, L"::1", {L"::1", L"127.0.0.1"}},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const wchar_t* address : c.listen)
            trace += CString(address).ToUtf8() + " ";
        SCOPED_TRACE(trace + "to " + CString(c.server).ToUtf8());
        UdpPeer server(c.server);
        ASSERT_TRUE(server.IsOpen());
        RunningRelay relay(c.listen, server);
        ASSERT_TRUE(relay.Started()) << relay.Error();
        for (int round = 0; round < 2; ++round)
            for (const wchar_t* address : c.clients) {
                UdpPeer client(address);
                RoundTrip(client, address, relay.Port(), server, CString(address).ToUtf8() + std::to_string(round));
            }
    }
}

TEST(CliRelayFamilies, ItsOwnSocketTowardsTheServerTakesOnlyTheServersDatagrams)
{
    SKIP_WITHOUT_IPV6();
    UdpPeer server(L"127.0.0.1");
    RunningRelay relay({L"::1"}, server);
    ASSERT_TRUE(relay.Started()) << relay.Error();
    UdpPeer client(L"::1"), stranger(L"127.0.0.1");
    ASSERT_GT(client.SendText("hello", relay.Port(), L"::1"), 0);
    auto atServer = server.Receive();
    ASSERT_TRUE(atServer);
    // A stranger at the port the server answers to is neither a client nor the server.
    ASSERT_GT(stranger.SendText("stray", atServer->fromPort, atServer->fromAddress), 0);
    ASSERT_GT(server.SendText("reply", atServer->fromPort, atServer->fromAddress), 0);
    EXPECT_EQ(client.ReceiveText(), "reply");
    EXPECT_FALSE(server.ReceiveText(std::chrono::milliseconds(200)));
    EXPECT_FALSE(stranger.ReceiveText(std::chrono::milliseconds(100)));
    const EngineStats stats = relay.Engine().Stats();
    EXPECT_EQ(Counter(stats, "not_from_server"), 1u);
    EXPECT_EQ(Counter(stats, "from_clients"), 1u);
}
