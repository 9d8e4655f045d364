#pragma once
// An IPv4 address and UDP port as numbers, both in host byte order: what
// the link engine keys its sessions on and sends to, without going through
// text for every datagram.

#include <cstddef>
#include <cstdint>
#include <functional>

struct Ipv4Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;

    friend bool operator==(const Ipv4Endpoint&, const Ipv4Endpoint&) = default;
};

template <>
struct std::hash<Ipv4Endpoint> {
    std::size_t operator()(const Ipv4Endpoint& e) const noexcept
    {
        const std::uint64_t key = (std::uint64_t{e.address} << 16) | e.port;
        return std::hash<std::uint64_t>{}(key * 0x9E3779B97F4A7C15ull);
    }
};
