#pragma once
// Everything the command line sets for one run of dulvet.

#include <memory>
#include <optional>
#include <string>

#include "link/LinkOptions.h"

struct Scenario;

struct CliOptions {
    // --listen and --server as given (their endpoints are the link's), and
    // whether the server was a name (resolved: its first address that can
    // be reached).
    CString listenText;
    CString serverText;
    bool serverNamed = false;

    // No line per datagram.
    bool quiet = false;
    // A stats line on standard error this often, in seconds.
    std::optional<double> statsSeconds;
    // The run ends by itself after this many seconds.
    std::optional<double> durationSeconds;

    // --capture: where the pcapng capture goes (UTF-8; "-" for standard
    // output, the lines then going to standard error), and the size it
    // may grow to, in MB of 10^6 bytes.
    std::optional<std::string> capturePath;
    std::optional<double> captureLimitMb;
    // --control ADDR:PORT: the control API's address (port 0: one the
    // system chooses) and, with --control-token, the token it asks for.
    std::optional<std::string> controlAddress;
    unsigned controlPort = 0;
    std::optional<std::string> controlToken;
    // --scenario FILE: its name as given, and its steps, read and checked
    // once the whole command line has been.
    std::optional<std::string> scenarioPath;
    std::shared_ptr<const Scenario> scenario;
    // --log-format json: every line on standard output a JSON object.
    bool jsonLog = false;

    // Set when any option of the link engine was given: that engine runs
    // instead of the relay engine. The endpoints, loss and delay are here
    // for either engine.
    bool linkEngine = false;
    // "profile NAME: OPTIONS" when --profile was given, said at start.
    std::string profileLine;
    LinkOptions link;
};
