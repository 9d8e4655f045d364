#pragma once
// Everything the link engine is told at start: where it listens, where the
// server is, its sessions and seed, which stay as they are while it runs,
// and the link's settings, which may change. Validate before use.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "framework/core/AllowList.h"
#include "framework/core/CString.h"
#include "link/LinkSettings.h"

enum class ClientsMode { Last, Each };

struct LinkOptions : LinkSettings {
    CString listenAddress = L"127.0.0.1";
    unsigned listenPort = 0;
    CString serverAddress = L"127.0.0.1";
    unsigned serverPort = 0;
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
