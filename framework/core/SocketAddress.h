#pragma once
// The endpoint of an address text and a port, as both platforms' sockets
// bind to it and send to it, and the address text of a sender.

#include <optional>

#include "framework/core/CString.h"
#include "framework/core/IpEndpoint.h"

// The address is read in the manner of inet_addr, or as an IPv6 address
// with an optional zone after '%' ("fe80::1%eth0"); only the low 16 bits of
// the port are used. Nothing when the text is not an address.
std::optional<IpEndpoint> EndpointOfText(const CString& address, unsigned port);

// The sender's address as the relay shows it: IPv4 in dotted decimal
// (written without allocating, once per datagram), IPv6 as IpEndpoint writes it.
void AssignAddressText(const IpEndpoint& sender, CString& address);
