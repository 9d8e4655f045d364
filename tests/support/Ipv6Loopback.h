#pragma once
// Whether this machine has the IPv6 loopback: tests that need it skip
// with this reason where it has none.

#include "framework/core/CAsyncSocket.h"
#include "framework/core/DatagramSocket.h"

inline bool HasIpv6Loopback()
{
    // Before any socket: Winsock refuses every call until it is started.
    AfxSocketInit();
    DatagramSocket probe;
    return probe.Open(IpEndpoint::V6(IpEndpoint::V6Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0));
}

inline const IpEndpoint kIpv6Loopback =
    IpEndpoint::V6(IpEndpoint::V6Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0);

#define SKIP_WITHOUT_IPV6()                                                          \
    do {                                                                             \
        if (!HasIpv6Loopback())                                                      \
            GTEST_SKIP() << "this machine has no IPv6 loopback (::1) to bind to";    \
    } while (0)
