#pragma once
// What a user writes for an address and port, read into endpoints:
// "A.B.C.D:PORT", "[IPv6]:PORT" (a zone after '%' where the system has
// one: "[fe80::1%eth0]:PORT"), and "NAME:PORT", resolved by the system's
// resolver once, here.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/core/IpEndpoint.h"

struct EndpointLookup {
    std::vector<IpEndpoint> endpoints;  // in the resolver's order, none twice
    bool named = false;                 // a host name that was resolved
    // Empty when the text was read; else what is wrong, as the tail of a
    // sentence after the option's name ("expects ADDR:PORT ...",
    // "cannot resolve 'x': <the resolver's text>").
    std::string problem;
};

// Ports 1..65535; a name resolves to the addresses of both families.
EndpointLookup LookUpEndpoints(std::wstring_view text);

// The first endpoint a UDP socket can be connected to (a route and a
// source address exist for it); nothing when there is none.
std::optional<IpEndpoint> FirstConnectable(const std::vector<IpEndpoint>& endpoints);

// Where a socket bound at `bound` sends from towards the peer: `bound`
// itself, or for one bound to every address (0.0.0.0, [::]) the address the
// system picks for the peer, with bound's port (bound as it is when the
// system will not say). What a capture shows as the relay's end.
IpEndpoint SendingEnd(const IpEndpoint& bound, const IpEndpoint& peer);
