// Endpoints as numbers and text: the forms a user reads, the mapped IPv4
// addresses a dual-stack socket reports, and the system's socket addresses.

#include <gtest/gtest.h>

#include <unordered_set>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#endif

#include "framework/core/IpEndpoint.h"
#include "tests/support/CStringPrinter.h"

namespace {

IpEndpoint V6(const wchar_t* text, std::uint16_t port = 0)
{
    const auto bytes = ParseIpv6Literal(text);
    EXPECT_TRUE(bytes) << CString(text).ToUtf8();
    return IpEndpoint::V6(bytes.value_or(IpEndpoint::V6Bytes{}), port);
}

}  // namespace

TEST(IpEndpointText, Ipv6ReadsEveryFormAndWritesTheShortestOne)
{
    struct Case {
        const wchar_t* text;
        const wchar_t* written;  // nullptr: refused
    };
    const Case cases[] = {
        {L"::1", L"[::1]:7"},
        {L"::", L"[::]:7"},
        {L"0:0:0:0:0:0:0:1", L"[::1]:7"},
        {L"2001:DB8:0:0:1:0:0:1", L"[2001:db8::1:0:0:1]:7"},  // the first of two equal runs
        {L"2001:db8:0:0:0:1:0:0", L"[2001:db8::1:0:0]:7"},    // the longest run
        {L"2001:db8:0:1:1:1:1:1", L"[2001:db8:0:1:1:1:1:1]:7"},  // one zero group stays
        {L"fe80::0a:00ff:fe00:1", L"[fe80::a:ff:fe00:1]:7"},
        {L"1::", L"[1::]:7"},
        {L"::ffff:192.0.2.1", L"192.0.2.1:7"},  // mapped: the IPv4 address it is
        {L"::ffff:c000:201", L"192.0.2.1:7"},
        {L"64:ff9b::192.0.2.1", L"[64:ff9b::c000:201]:7"},
        {L"1:2:3:4:5:6:7", nullptr},
        {L"1:2:3:4:5:6:7:8:9", nullptr},
        {L"1::2::3", nullptr},
        {L":::1", nullptr},
        {L"1:2:3:4:5:6:7:", nullptr},
        {L":1:2:3:4:5:6:7", nullptr},
        {L"12345::1", nullptr},
        {L"g::1", nullptr},
        {L"::1.2.3", nullptr},
        {L"::01.2.3.4", nullptr},
        {L"1.2.3.4::", nullptr},
        {L"", nullptr},
        {L"1:2:3:4:5:6:7::8", nullptr},
    };
    for (const Case& c : cases) {
        const auto bytes = ParseIpv6Literal(c.text);
        ASSERT_EQ(bytes.has_value(), c.written != nullptr) << CString(c.text).ToUtf8();
        if (bytes) {
            EXPECT_EQ(IpEndpoint::V6(*bytes, 7).ToText(), CString(c.written)) << CString(c.text).ToUtf8();
        }
    }
}

TEST(IpEndpoint, AMappedAddressIsTheIpv4AddressInKeysAndComparisons)
{
    const IpEndpoint v4 = IpEndpoint::V4(0x7F000001, 5000);
    const IpEndpoint mapped = V6(L"::ffff:127.0.0.1", 5000);
    EXPECT_TRUE(mapped.IsV4());
    EXPECT_EQ(mapped, v4);
    EXPECT_EQ(std::hash<IpEndpoint>{}(mapped), std::hash<IpEndpoint>{}(v4));
    EXPECT_EQ(mapped.V4Address(), 0x7F000001u);

    // Every part of the address tells endpoints apart: family, bytes, port, zone.
    std::unordered_set<IpEndpoint> keys{v4, v4.WithPort(5001), IpEndpoint::V4(0x7F000002, 5000), V6(L"::1", 5000),
                                        V6(L"::127.0.0.1", 5000), IpEndpoint::V6(*ParseIpv6Literal(L"fe80::1"), 5000, 1),
                                        IpEndpoint::V6(*ParseIpv6Literal(L"fe80::1"), 5000, 2)};
    EXPECT_EQ(keys.size(), 7u);
    EXPECT_TRUE(IpEndpoint().IsUnspecified());
    EXPECT_TRUE(V6(L"::").IsUnspecified());
    EXPECT_FALSE(V6(L"::1").IsUnspecified());
}

TEST(IpEndpoint, SocketAddressesRoundTripInEitherFamily)
{
    sockaddr_storage address;
    const IpEndpoint v4 = IpEndpoint::V4(0xC0000201, 53);
    ASSERT_EQ(v4.ToSockaddr(address), static_cast<int>(sizeof(sockaddr_in)));
    EXPECT_EQ(IpEndpoint::FromSockaddr(address), v4);
    // To an IPv6 socket an IPv4 endpoint goes mapped, and comes back as IPv4.
    ASSERT_EQ(v4.ToSockaddr(address, true), static_cast<int>(sizeof(sockaddr_in6)));
    EXPECT_EQ(address.ss_family, AF_INET6);
    EXPECT_EQ(IpEndpoint::FromSockaddr(address), v4);

    const IpEndpoint zoned = IpEndpoint::V6(*ParseIpv6Literal(L"fe80::1"), 40000, 3);
    ASSERT_EQ(zoned.ToSockaddr(address), static_cast<int>(sizeof(sockaddr_in6)));
    EXPECT_EQ(reinterpret_cast<const sockaddr_in6&>(address).sin6_scope_id, 3u);
    EXPECT_EQ(reinterpret_cast<const sockaddr_in6&>(address).sin6_port, htons(40000));
    EXPECT_EQ(IpEndpoint::FromSockaddr(address), zoned);
    EXPECT_EQ(zoned.ToSockaddr(address, false), 0);  // no IPv4 socket sends there
}
