// The link engine between IPv4 and IPv6 over real loopback sockets: each
// family both ways, mixed families both ways, sessions, a dual-stack socket
// and several listening addresses at once.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/core/SocketAddress.h"
#include "link/LinkEngine.h"
#include "tests/link/LinkTestSupport.h"
#include "tests/support/Ipv6Loopback.h"
#include "tests/support/RelayRoundTrip.h"
#include "tests/support/UdpPeer.h"

namespace {

IpEndpoint At(const wchar_t* address, unsigned port) { return *EndpointOfText(address, port); }

// "127.0.0.1:P" or "[::1]:P", as the engine's lines show a client.
std::wstring Shown(const wchar_t* address, unsigned port)
{
    return std::wstring(At(address, port).ToText().View());
}

}  // namespace

TEST(LinkFamilies, RelaysEachFamilyAndBetweenThemWithAndWithoutSessions)
{
    SKIP_WITHOUT_IPV6();
    AfxSocketInit();
    struct Case {
        const wchar_t* listen;
        const wchar_t* server;
        const wchar_t* client;  // and where it sends
        ClientsMode clients;
    };
    const Case cases[] = {
        {L"::1", L"::1", L"::1", ClientsMode::Last},
        {L"::1", L"127.0.0.1", L"::1", ClientsMode::Last},
        {L"127.0.0.1", L"::1", L"127.0.0.1", ClientsMode::Last},
        {L"::1", L"::1", L"::1", ClientsMode::Each},
        {L"::1", L"127.0.0.1", L"::1", ClientsMode::Each},
        {L"127.0.0.1", L"::1", L"127.0.0.1", ClientsMode::Each},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CString(c.listen).ToUtf8() + " to " + CString(c.server).ToUtf8() +
                     (c.clients == ClientsMode::Each ? " each" : " last"));
        UdpPeer server(c.server), client(c.client);
        ASSERT_TRUE(server.IsOpen() && client.IsOpen());
        LinkOptions options;
        options.listen = {At(c.listen, 0)};
        options.server = At(c.server, server.Port());
        options.clients = c.clients;
        options.seed = 1;
        LineLog log;
        SteadyLinkClock clock;
        LinkEngine engine(options, log, clock);
        ASSERT_TRUE(engine.Open()) << engine.LastError();
        ASSERT_TRUE(engine.Start());
        RoundTrip(client, c.listen, engine.ListenPort(), server, "one");
        RoundTrip(client, c.listen, engine.ListenPort(), server, "two");
        if (c.clients == ClientsMode::Each) {
            EXPECT_EQ(log.CountStartingWith(L"Session " + Shown(c.client, client.Port()) + L" opened"), 1u);
        }
        engine.Stop();
    }
}

TEST(LinkFamilies, ADualStackSocketShowsAndKeysIpv4ClientsAsIpv4)
{
    SKIP_WITHOUT_IPV6();
    AfxSocketInit();
    UdpPeer server(L"::1"), v4(L"127.0.0.1"), v6(L"::1");
    LinkOptions options;
    options.listen = {At(L"::", 0)};
    options.server = At(L"::1", server.Port());
    options.clients = ClientsMode::Each;
    LineLog log;
    SteadyLinkClock clock;
    LinkEngine engine(options, log, clock);
    ASSERT_TRUE(engine.Open()) << engine.LastError();
    if (!engine.TakesBothFamilies(0))
        GTEST_SKIP() << "the system keeps IPv6 sockets to IPv6";
    ASSERT_TRUE(engine.Start());
    RoundTrip(v4, L"127.0.0.1", engine.ListenPort(), server, "four");
    RoundTrip(v6, L"::1", engine.ListenPort(), server, "six");
    RoundTrip(v4, L"127.0.0.1", engine.ListenPort(), server, "four again");
    EXPECT_EQ(log.CountStartingWith(L"Session " + Shown(L"127.0.0.1", v4.Port()) + L" opened"), 1u);
    EXPECT_EQ(log.CountStartingWith(L"Session " + Shown(L"::1", v6.Port()) + L" opened"), 1u);
    for (const std::wstring& line : log.Lines())
        EXPECT_EQ(line.find(L"::ffff:"), std::wstring::npos) << CString(line).ToUtf8();
}

TEST(LinkFamilies, ListensOnEveryAddressAndRepliesThroughTheOneEachClientUsed)
{
    SKIP_WITHOUT_IPV6();
    AfxSocketInit();
    UdpPeer server(L"127.0.0.1"), v4(L"127.0.0.1"), v6(L"::1");
    LinkOptions options;
    options.listen = {At(L"127.0.0.1", 0), At(L"::1", 0)};
    options.server = At(L"127.0.0.1", server.Port());
    LineLog log;
    SteadyLinkClock clock;
    LinkEngine engine(options, log, clock);
    ASSERT_TRUE(engine.Open()) << engine.LastError();
    ASSERT_TRUE(engine.Start());
    const auto listening = engine.ListenEndpoints();
    ASSERT_EQ(listening.size(), 2u);
    RoundTrip(v6, L"::1", listening[1].Port(), server, "by six");
    RoundTrip(v4, L"127.0.0.1", listening[0].Port(), server, "by four");
    RoundTrip(v6, L"::1", listening[1].Port(), server, "by six again");
}
