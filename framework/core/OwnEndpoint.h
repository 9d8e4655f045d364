#pragma once
// Whether a datagram's sender is the very socket that received it: a
// datagram "from" the relay's own address and port, spoofed or sent by a
// misconfigured program, would otherwise have the relay send to itself for
// ever. A socket bound to every address (0.0.0.0) is also every address of
// this machine at its port.

#include <cstdint>

#include "framework/core/Ipv4Endpoint.h"

class OwnEndpoint {
public:
    OwnEndpoint() = default;
    // The address the socket was bound to (0: every address) and its port.
    OwnEndpoint(std::uint32_t boundAddress, std::uint16_t port) : m_bound(boundAddress), m_port(port) {}

    // Cheap unless the port is the socket's own; then an address of this
    // machine is found out once (the last answer is kept).
    bool Is(const Ipv4Endpoint& from);

private:
    std::uint32_t m_bound = 0;
    std::uint16_t m_port = 0;
    std::uint32_t m_lastAsked = 0;
    bool m_lastAnswer = false;
    bool m_asked = false;
};

// True when the address is one of this machine's: 127.0.0.0/8, or one that
// a socket may be bound to.
bool IsLocalIpv4(std::uint32_t hostOrder);
