#pragma once
// Whether a datagram's sender is the very socket that received it: a
// datagram "from" the relay's own address and port, spoofed or sent by a
// misconfigured program, would otherwise have the relay send to itself for
// ever. A socket bound to every address (0.0.0.0, or [::] for the families
// it takes) is also every address of this machine at its port.

#include <cstdint>

#include "framework/core/IpEndpoint.h"

class OwnEndpoint {
public:
    OwnEndpoint() = default;
    // Where the socket is bound (an unspecified address: every address);
    // takesIpv4 for an IPv6 socket that takes IPv4 too.
    explicit OwnEndpoint(const IpEndpoint& bound, bool takesIpv4 = false) : m_bound(bound), m_takesIpv4(takesIpv4) {}

    // Cheap unless the port is the socket's own; then whether the address
    // is this machine's is found out once (the last answer is kept).
    bool Is(const IpEndpoint& from);

private:
    IpEndpoint m_bound;
    bool m_takesIpv4 = false;
    IpEndpoint m_lastAsked;
    bool m_lastAnswer = false;
    bool m_asked = false;
};

// True when the address is one of this machine's: a loopback address, or
// one that a socket may be bound to.
bool IsLocalAddress(const IpEndpoint& address);
