#pragma once
// How the link treats datagrams: every impairment, in one value that the
// command line, `set`, a scenario and the control API all produce, and
// that the engine takes whole between two datagrams. Validate before use.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/DelayShape.h"
#include "link/Direction.h"
#include "link/RateTrace.h"

enum class LinkDirection { ToServer, ToClient, Both };

struct BurstLoss {
    double enterPercent = 0;  // chance per datagram to enter a loss burst
    double leavePercent = 0;  // chance per datagram to leave it

    bool operator==(const BurstLoss&) const = default;
};

struct LinkSettings {
    double lossPercent = 0;   // periodic, as the dialog: one in trunc(100 / loss)
    std::int32_t delayMs = 0; // negative: no pause, but reported as given
    bool pipeline = false;
    double jitterMs = 0;      // implies pipeline
    bool keepOrder = false;
    double randomLossPercent = 0;
    std::optional<BurstLoss> burstLoss;
    LinkDirection direction = LinkDirection::ToServer;
    std::optional<double> rateKbit;  // none: no rate limit
    std::optional<double> rateKbitToClient;  // when it differs: to-client's
    std::int32_t queueLimit = 1000;
    double duplicatePercent = 0;
    double reorderPercent = 0;
    DelayShape distribution;  // of the jitter around the delay
    // --rate-trace: to-server's (or the only direction's) and to-client's.
    std::array<std::shared_ptr<const RateTrace>, 2> rateTraces;
    std::string rateTraceFiles;  // as given
    double corruptPercent = 0;

    bool operator==(const LinkSettings&) const = default;
};

// Below this a datagram's time on the wire outgrows the clock.
inline constexpr double kLeastRateKbit = 0.001;

// The first problem with the settings as a message naming the flag (for
// example "--jitter must not be negative"), or nothing when they are usable.
std::optional<std::string> ValidateLinkSettings(const LinkSettings& settings);

// Readers for the values that are words or pairs; nothing when the text is
// not one of them.
std::optional<LinkDirection> ParseLinkDirection(std::string_view text);
std::optional<BurstLoss> ParseBurstLoss(std::string_view text);  // "P,R"

const char* DirectionName(LinkDirection direction);
// Whether the rules apply to datagrams travelling that way.
bool Applies(LinkDirection option, Direction direction);

// Readers for the values that name files; each gives the problem in words,
// to follow the flag ("cannot open 'x': ..."), or nothing when it read.
// --distribution: a shape's name or a table file.
std::optional<std::string> LoadDistribution(std::string_view text, DelayShape& shape);
// --rate-trace: FILE, or FILE,FILE for to-server and to-client; one file
// serves both directions.
std::optional<std::string> LoadRateTraces(std::string_view text,
                                          std::array<std::shared_ptr<const RateTrace>, 2>& traces);
