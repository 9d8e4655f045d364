#pragma once
// A UDP datagram as it travelled: an IPv4 or IPv6 header and a UDP header
// built from its addresses and ports, with their checksums, then the payload.

#include <cstddef>
#include <string>

#include "relay/DatagramObserver.h"

// Appends the packet to out. When one endpoint is IPv6 and the other IPv4,
// the IPv4 one is written as an IPv4-mapped IPv6 address.
void AppendUdpPacket(std::string& out, const PacketEndpoint& source, const PacketEndpoint& destination,
                     const unsigned char* payload, std::size_t size);
