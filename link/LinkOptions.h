#pragma once
// Everything the link engine is told at start: where it listens, where the
// server is, its sessions and seed, which stay as they are while it runs,
// and the link's settings, which may change. Validate before use.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/core/AllowList.h"
#include "framework/core/CString.h"
#include "framework/core/IpEndpoint.h"
#include "link/LinkSettings.h"

enum class ClientsMode { Last, Each };

struct LinkOptions : LinkSettings {
    // Every address it listens on (an IPv6 "::" one for IPv4 too where the
    // system allows), and where the server is.
    std::vector<IpEndpoint> listen{IpEndpoint::V4(0x7F000001, 0)};
    IpEndpoint server = IpEndpoint::V4(0x7F000001, 0);
    AllowList allow;  // who may send as a client (--allow); everyone when empty

    std::optional<std::uint64_t> seed;  // chosen at start when absent
    ClientsMode clients = ClientsMode::Last;
    double sessionIdleSeconds = 60;
    int maxSessions = 4096;
    int sessionsPerAddress = 1024;  // sessions the clients of one address may hold
    // What all waiting datagrams may cost together (their blocks and
    // bookkeeping); beyond that new ones are dropped. Smaller only in tests.
    std::size_t mostWaitingCost = std::size_t{256} << 20;

    const LinkSettings& Settings() const { return *this; }
    LinkSettings& Settings() { return *this; }
};

// Shorter, and a session would close before its server could reply.
inline constexpr double kLeastSessionIdleSeconds = 0.1;

// The first problem with the options as a message naming the flag, or
// nothing when they are usable: the settings' checks, then the sessions'.
std::optional<std::string> ValidateLinkOptions(const LinkOptions& options);

std::optional<ClientsMode> ParseClientsMode(std::string_view text);
