// dulvet under hostile or careless traffic, end to end on Linux and in each
// engine: a datagram from the relay's own address is dropped, not looped,
// and --allow lets in only the clients it names; each counted by its name.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/cli/CliRelayFixture.h"

namespace {

// A UDP datagram to 127.0.0.1:targetPort from 127.0.0.1:sourcePort, whoever
// owns that port, through a raw socket; false where none may be opened.
bool SendSpoofed(unsigned sourcePort, unsigned targetPort, const std::string& body)
{
    const int raw = socket(AF_INET, SOCK_RAW, IPPROTO_UDP);
    if (raw < 0)
        return false;
    std::vector<unsigned char> udp(8 + body.size());
    const auto put16 = [&](size_t at, unsigned value) {
        udp[at] = static_cast<unsigned char>(value >> 8);
        udp[at + 1] = static_cast<unsigned char>(value);
    };
    put16(0, sourcePort);
    put16(2, targetPort);
    put16(4, static_cast<unsigned>(udp.size()));  // checksum 0: none, which IPv4 allows
    std::copy(body.begin(), body.end(), udp.begin() + 8);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool sent = sendto(raw, udp.data(), udp.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) > 0;
    close(raw);
    return sent;
}

// Each engine with its options and its names for the counters.
struct EngineCase {
    const char* name;
    std::vector<std::string> options;
    const char* ownAddress;
    const char* notAllowed;
    const char* fromClients;
    const char* summaryOneIn;  // the summary's count of one client datagram taken in
    const char* summaryNotAllowed;
};

void PrintTo(const EngineCase& c, std::ostream* out) { *out << c.name; }

class CliHostile : public CliRelay, public ::testing::WithParamInterface<EngineCase> {};

}  // namespace

TEST_P(CliHostile, ADatagramFromTheRelaysOwnAddressIsDroppedNotLooped)
{
    const auto relay = StartRelay(GetParam().options);
    ASSERT_TRUE(relay);
    if (!SendSpoofed(m_relayPort, m_relayPort, "from itself"))
        GTEST_SKIP() << "a raw socket needs CAP_NET_RAW";
    ASSERT_TRUE(WaitForCounter(*relay, GetParam().ownAddress, 1));
    UdpPeer client;
    client.SendText("real", m_relayPort);
    EXPECT_EQ(m_server.ReceiveText(), "real");  // and nothing before it
    ASSERT_TRUE(WaitForCounter(*relay, GetParam().fromClients, 1));
    EXPECT_EQ(Counter(relay->Err(), GetParam().ownAddress), 1);
    Quit(*relay);
    EXPECT_NE(relay->Err().find(GetParam().summaryOneIn), std::string::npos) << relay->Err();
}

TEST_P(CliHostile, AllowLetsInOnlyTheClientsItNames)
{
    std::vector<std::string> options = GetParam().options;
    options.insert(options.end(), {"--allow", "127.0.0.2", "--allow", "10.0.0.0/8"});
    const auto relay = StartRelay(options);
    ASSERT_TRUE(relay);
    UdpPeer stranger;  // 127.0.0.1
    UdpPeer allowed(L"127.0.0.2");
    stranger.SendText("stranger", m_relayPort);
    ASSERT_TRUE(WaitForCounter(*relay, GetParam().notAllowed, 1));
    allowed.SendText("allowed", m_relayPort);
    EXPECT_EQ(m_server.ReceiveText(), "allowed");
    Quit(*relay);
    EXPECT_NE(relay->Err().find(GetParam().summaryOneIn), std::string::npos) << relay->Err();
    EXPECT_NE(relay->Err().find(GetParam().summaryNotAllowed), std::string::npos) << relay->Err();
}

INSTANTIATE_TEST_SUITE_P(
    Engines, CliHostile,
    ::testing::Values(EngineCase{"relay", {}, "own_address", "not_allowed", "from_clients", ": 1 from clients,",
                                 ", 1 not allowed"},
                      EngineCase{"link_last", {"--pipeline"}, "own-address", "not-allowed", "to-server.received",
                                 ": 1 to-server.received,", ", 1 not-allowed"},
                      EngineCase{"link_each", {"--clients", "each"}, "own-address", "not-allowed",
                                 "to-server.received", ": 1 to-server.received,", ", 1 not-allowed"}),
    [](const auto& info) { return std::string(info.param.name); });
