// The link engine's sockets on real loopback sockets of both families.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "framework/core/CAsyncSocket.h"
#include "framework/core/DatagramSocket.h"
#include "tests/support/CStringPrinter.h"
#include "tests/support/Ipv6Loopback.h"
#include "tests/support/UdpPeer.h"

namespace {

const IpEndpoint kLoopback = IpEndpoint::V4(0x7F000001, 0);

// Takes datagrams until `want` have come or the deadline passes.
std::vector<std::pair<std::string, IpEndpoint>> ReceiveAll(DatagramSocket& socket, size_t want)
{
    std::vector<std::pair<std::string, IpEndpoint>> taken;
    std::vector<unsigned char> room(8 * 100);
    DatagramSocket::Received slots[8];
    for (int i = 0; i < 8; ++i)
        slots[i] = {&room[static_cast<size_t>(i) * 100], 100, 0, IpEndpoint()};
    const auto deadline = std::chrono::steady_clock::now() + kArrivalDeadline;
    while (taken.size() < want && std::chrono::steady_clock::now() < deadline) {
        const int count = socket.ReceiveDatagrams(slots, 8);
        for (int i = 0; i < count; ++i)
            taken.emplace_back(std::string(slots[i].bytes, slots[i].bytes + std::max(0, slots[i].length)),
                               slots[i].peer);
        if (count == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return taken;
}

}  // namespace

TEST(DatagramSocket, BatchesGoAndComeOverIpv6WithTheirSender)
{
    SKIP_WITHOUT_IPV6();
    AfxSocketInit();
    DatagramSocket a, b;
    ASSERT_TRUE(a.Open(kIpv6Loopback));
    ASSERT_TRUE(b.Open(kIpv6Loopback));
    const IpEndpoint from = a.LocalEndpoint();
    EXPECT_EQ(from.ToText(), CString::Formatted(L"[::1]:%u", unsigned{from.Port()}));

    const std::string texts[] = {"one", "two", "three"};
    DatagramSocket::Outgoing out[3];
    for (int i = 0; i < 3; ++i)
        out[i] = {reinterpret_cast<const unsigned char*>(texts[i].data()), static_cast<int>(texts[i].size()),
                  b.LocalEndpoint()};
    a.SendDatagrams(out, 3);
    for (const auto& slot : out)
        EXPECT_TRUE(slot.sent);
    const auto taken = ReceiveAll(b, 3);
    ASSERT_EQ(taken.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(taken[i].first, texts[i]);
        EXPECT_EQ(taken[i].second, from);
    }
}

TEST(DatagramSocket, ADualStackSocketSeesIpv4PeersAsIpv4AndReachesThem)
{
    SKIP_WITHOUT_IPV6();
    AfxSocketInit();
    DatagramSocket both;
    ASSERT_TRUE(both.Open(IpEndpoint::V6({}, 0), DatagramSocket::Stack::Dual));
    if (!both.IsDualStack())
        GTEST_SKIP() << "the system keeps IPv6 sockets to IPv6";
    DatagramSocket v4;
    ASSERT_TRUE(v4.Open(kLoopback));
    EXPECT_TRUE(both.CanReach(v4.LocalEndpoint()));
    EXPECT_FALSE(v4.CanReach(kIpv6Loopback));

    ASSERT_EQ(v4.SendDatagram("hi", 2, kLoopback.WithPort(both.LocalEndpoint().Port())), 2);
    const auto taken = ReceiveAll(both, 1);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].second, v4.LocalEndpoint());
    EXPECT_EQ(taken[0].second.ToText(), v4.LocalEndpoint().ToText());  // "127.0.0.1:P", never "::ffff:"

    ASSERT_EQ(both.SendDatagram("back", 4, taken[0].second), 4);
    const auto back = ReceiveAll(v4, 1);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].first, "back");
}

TEST(DatagramSocket, AnIpv6PeerFailsOnAnIpv4SocketWithoutHoldingTheOthers)
{
    AfxSocketInit();
    DatagramSocket a, b;
    ASSERT_TRUE(a.Open(kLoopback));
    ASSERT_TRUE(b.Open(kLoopback));
    const unsigned char bytes[] = {'x'};
    DatagramSocket::Outgoing out[] = {{bytes, 1, kIpv6Loopback.WithPort(9)}, {bytes, 1, b.LocalEndpoint()}};
    a.SendDatagrams(out, 2);
    EXPECT_FALSE(out[0].sent);
    EXPECT_TRUE(out[1].sent);
    EXPECT_EQ(ReceiveAll(b, 1).size(), 1u);
}
