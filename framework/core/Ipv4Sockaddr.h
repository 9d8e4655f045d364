#pragma once
// The system's socket address for an endpoint, for the datagram calls.

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include "framework/core/Ipv4Endpoint.h"

inline sockaddr_in ToSockaddr(const Ipv4Endpoint& endpoint)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    address.sin_addr.s_addr = htonl(endpoint.address);
    return address;
}

inline Ipv4Endpoint FromSockaddr(const sockaddr_in& address)
{
    return Ipv4Endpoint{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}
