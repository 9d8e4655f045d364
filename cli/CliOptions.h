#pragma once
// Everything the command line sets for one run of dulvet.

#include <cstdint>
#include <optional>

#include "framework/core/CString.h"
#include "link/LinkOptions.h"

struct CliOptions {
    // Where clients send: the relay's own address (plain dotted decimal) and port.
    CString listenAddress;
    std::int32_t listenPort = 0;
    // Where the server listens.
    CString serverAddress;
    std::int32_t serverPort = 0;
    double lossPercent = 0;
    std::int32_t delayMs = 0;
    // No line per datagram.
    bool quiet = false;
    // A stats line on standard error this often, in seconds.
    std::optional<double> statsSeconds;
    // The run ends by itself after this many seconds.
    std::optional<double> durationSeconds;

    // Set when any option of the link engine was given: that engine runs
    // instead of the dialog's, with these options (the endpoints, loss and
    // delay above copied in, and checked).
    bool linkEngine = false;
    LinkOptions link;
};
