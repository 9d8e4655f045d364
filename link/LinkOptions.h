#pragma once
// Everything the link engine is told at start: where it listens, where the
// server is, and how the link treats datagrams. Validate before use.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "framework/core/CString.h"
#include "link/Direction.h"

enum class LinkDirection { ToServer, ToClient, Both };
enum class ClientsMode { Last, Each };

struct BurstLoss {
    double enterPercent = 0;  // chance per datagram to enter a loss burst
    double leavePercent = 0;  // chance per datagram to leave it
};

struct LinkOptions {
    CString listenAddress = L"127.0.0.1";
    unsigned listenPort = 0;
    CString serverAddress = L"127.0.0.1";
    unsigned serverPort = 0;

    double lossPercent = 0;   // periodic, as the dialog: one in trunc(100 / loss)
    std::int32_t delayMs = 0; // negative: no pause, but reported as given
    bool pipeline = false;
    double jitterMs = 0;      // implies pipeline
    bool keepOrder = false;
    double randomLossPercent = 0;
    std::optional<BurstLoss> burstLoss;
    LinkDirection direction = LinkDirection::ToServer;
    std::optional<std::uint64_t> seed;  // chosen at start when absent

    std::optional<double> rateKbit;  // none: no rate limit
    std::int32_t queueLimit = 1000;
    double duplicatePercent = 0;
    double reorderPercent = 0;
    ClientsMode clients = ClientsMode::Last;
    double sessionIdleSeconds = 60;
    int maxSessions = 4096;
};

// The first problem with the options as a message naming the flag (for
// example "--jitter must not be negative"), or nothing when they are usable.
std::optional<std::string> ValidateLinkOptions(const LinkOptions& options);

// Readers for the option values that are words or pairs; nothing when the
// text is not one of them.
std::optional<LinkDirection> ParseLinkDirection(std::string_view text);
std::optional<ClientsMode> ParseClientsMode(std::string_view text);
std::optional<BurstLoss> ParseBurstLoss(std::string_view text);  // "P,R"

const char* DirectionName(LinkDirection direction);
// Whether the rules apply to datagrams travelling that way.
bool Applies(LinkDirection option, Direction direction);
