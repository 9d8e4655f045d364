#pragma once
// An IP address (IPv4, or IPv6 with its zone) and a UDP port as numbers:
// what the link engine keys its sessions on and sends to, without going
// through text for every datagram. An IPv4-mapped IPv6 address (what a
// dual-stack socket reports for an IPv4 peer) is the IPv4 address it maps:
// it compares, hashes and reads as that address, and converts back to the
// mapped form only for a socket of the IPv6 family.

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "framework/core/CString.h"

struct sockaddr_storage;

class IpEndpoint {
public:
    using V6Bytes = std::array<std::uint8_t, 16>;

    // 0.0.0.0:0
    IpEndpoint() : m_bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF} {}
    // An IPv4 address in host byte order.
    static IpEndpoint V4(std::uint32_t address, std::uint16_t port);
    // An IPv6 address in network byte order; a mapped one is its IPv4 address.
    static IpEndpoint V6(const V6Bytes& address, std::uint16_t port, std::uint32_t zone = 0);

    bool IsV4() const;
    std::uint32_t V4Address() const;  // host byte order; 0 for IPv6
    const V6Bytes& Bytes() const { return m_bytes; }  // IPv4 in its mapped form
    std::uint16_t Port() const { return m_port; }
    std::uint32_t Zone() const { return m_zone; }  // IPv6 scope id, 0 for none
    bool IsUnspecified() const;  // 0.0.0.0 or ::
    bool IsLoopback() const;     // 127.0.0.0/8 or ::1
    // 255.255.255.255, 224.0.0.0/4 or ff00::/8: no single host.
    bool IsBroadcastOrMulticast() const;
    IpEndpoint WithPort(std::uint16_t port) const;

    // "A.B.C.D:P", or "[v6]:P" in the shortest form (RFC 5952) with the
    // zone's interface name ("[fe80::1%eth0]:P").
    CString ToText() const;
    // The address alone, without brackets or port: "127.0.0.1", "::1".
    CString AddressText() const;

    // The system's socket address for a socket of the given family (an IPv4
    // endpoint goes to an IPv6 socket in the mapped form). Returns its
    // length, or 0 when an IPv6 endpoint is given an IPv4 socket.
    int ToSockaddr(sockaddr_storage& out, bool forV6Socket) const;
    int ToSockaddr(sockaddr_storage& out) const { return ToSockaddr(out, !IsV4()); }
    // Nothing for a family other than IPv4 and IPv6.
    static std::optional<IpEndpoint> FromSockaddr(const sockaddr_storage& address);

    friend bool operator==(const IpEndpoint&, const IpEndpoint&) = default;
    friend auto operator<=>(const IpEndpoint&, const IpEndpoint&) = default;

private:
    V6Bytes m_bytes;  // IPv4 as ::ffff:a.b.c.d
    std::uint16_t m_port = 0;
    std::uint32_t m_zone = 0;
};

// Address literals as a user writes them, without port or brackets.
// "a.b.c.d" only in the plain dotted form; nothing for any other text.
std::optional<std::uint32_t> ParseIpv4Literal(std::wstring_view text);
// "2001:db8::1", "::ffff:1.2.3.4" and the like (no zone).
std::optional<IpEndpoint::V6Bytes> ParseIpv6Literal(std::wstring_view text);
// The scope id of an interface name or number ("eth0", "2"); nothing when
// the system has no such interface.
std::optional<std::uint32_t> ZoneIdOf(std::wstring_view zone);

template <>
struct std::hash<IpEndpoint> {
    std::size_t operator()(const IpEndpoint& e) const noexcept
    {
        std::uint64_t key = (std::uint64_t{e.Port()} << 32) ^ e.Zone();
        const auto& b = e.Bytes();
        for (std::size_t i = 0; i < b.size(); i += 8) {
            std::uint64_t part = 0;
            for (std::size_t k = 0; k < 8; ++k)
                part = part << 8 | b[i + k];
            key = (key ^ part) * 0x9E3779B97F4A7C15ull;
        }
        return static_cast<std::size_t>(key ^ (key >> 29));
    }
};
