#pragma once
// What the console program needs from an engine that moves the datagrams:
// open its sockets, start, take a new loss rate and delay while it runs,
// report its counters, stop. Engines report their lines through LogHost,
// as the relay reports to the dialog's log.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/LinkClock.h"
#include "link/LinkSettings.h"

class DatagramObserver;
class LogHost;

// One counter of an engine, named as it appears in the stats line (lower
// case, words joined by '_' or '-', groups by '.': nothing JSON escapes).
struct NamedCounter {
    std::string name;
    std::uint64_t value = 0;
    // False: the summary at the end leaves it out while it is 0.
    bool summedUpWhenZero = true;
};
using EngineStats = std::vector<NamedCounter>;

class Engine {
public:
    virtual ~Engine() = default;

    // Opens the engine's sockets. False, with a one-line message, when it
    // cannot; nothing runs then.
    virtual bool Open(std::string& error) = 0;
    // Tells observer about every datagram from Start on (null: nobody).
    // Given before Start; the observer outlives Stop.
    virtual void Observe(DatagramObserver* observer) = 0;
    // Starts moving datagrams. The lines that say which settings apply go
    // to settingsLog (at start and at each Modify); the lines about single
    // datagrams go to datagramLog. Both hosts outlive Stop. False, with a
    // one-line message, when the system will not start it; nothing runs
    // and nothing stays open then.
    virtual bool Start(LogHost& settingsLog, LogHost& datagramLog, std::string& error) = 0;
    // A new loss rate (percent) and delay (ms) while the engine runs.
    virtual void Modify(double lossPercent, std::int32_t delayMs) = 0;

    // The link engine's settings while it runs: whole new settings (they
    // passed ValidateLinkSettings), an outage and its end, each with the
    // line it logs as it applies. Each returns once the engine has applied
    // it, false when it could not within kChangePatience. With `at` (a time
    // on the engine's clock: the steady clock's, or the one a test gave) the
    // engine applies it then, on its own thread, and the call returns once
    // the engine holds it. The dialog's relay takes none of them (Live false).
    virtual bool Live() const { return false; }
    virtual bool Apply(const LinkSettings&, const std::string& /*line*/, std::optional<LinkTime> /*at*/ = {})
    {
        return false;
    }
    virtual bool Down(LinkDirection, std::optional<double> /*seconds*/, const std::string& /*line*/,
                      std::optional<LinkTime> /*at*/ = {})
    {
        return false;
    }
    virtual bool Up(const std::string& /*line*/, std::optional<LinkTime> /*at*/ = {}) { return false; }
    static constexpr std::chrono::seconds kChangePatience{5};
    // Where it says, one line at a time, what the user should know while
    // it runs (for standard error). Before Start.
    virtual void SetNoticeLog(LogHost&) {}
    // The seed it chose when none was given.
    virtual std::optional<std::uint64_t> ChosenSeed() const { return std::nullopt; }

    // The counters since Start; any thread, at any time after Start.
    virtual EngineStats Stats() const = 0;
    // Stops at once, even in the middle of a pause; no line follows.
    virtual void Stop() = 0;
    // What the user should know once it has started, for standard error
    // (for example a seed it chose, or that a socket takes both IPv4 and
    // IPv6), a line each.
    virtual std::vector<std::string> StartNotes() const { return {}; }
};
