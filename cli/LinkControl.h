#pragma once
// The link's settings while it runs, as `set`, `show`, `down`, `up` and
// `modify` change them, whoever asks (standard input, a scenario, the
// control API): the settings in force, checked changes handed to the
// engine, and what to tell the one who asked. Used by one thread, the
// console program's main loop; the engine's own thread is never waited on
// for more than its next turn.

#include <optional>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "link/LinkClock.h"

class Engine;

struct ControlResult {
    enum class Status { Done, Bad, Fixed, NotLive, Failed };
    Status status = Status::Done;
    std::string message;  // what changed (Done), or why nothing did

    bool Ok() const { return status == Status::Done; }
};

class LinkControl {
public:
    LinkControl(const CliOptions& options, Engine& engine);

    // `set`'s words: "--jitter 20 --rate off". With `at` (a scenario's
    // step, on the engine's clock) the engine applies it then; the settings
    // in force here are the new ones at once.
    ControlResult Set(const std::vector<std::string>& words, std::optional<LinkTime> at = {});
    ControlResult Down(LinkDirection way, std::optional<double> seconds, std::optional<LinkTime> at = {});
    ControlResult Up(std::optional<LinkTime> at = {});
    // As `modify LOSS DELAY`: the dialog's engine takes it too.
    void Modify(double lossPercent, std::int32_t delayMs);
    // The command line that would start the same link.
    std::string Show() const;
    const CliOptions& Current() const { return m_current; }

private:
    ControlResult NotLive(const char* command) const;

    CliOptions m_current;
    Engine& m_engine;
};
