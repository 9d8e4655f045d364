#pragma once
// One run of an engine from the command line: open it, start it with its
// lines on standard output, take commands from standard input, write stats
// lines when due, and end on "quit", a signal or --duration with a summary
// on standard error.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "cli/CliOptions.h"
#include "cli/ControlQueue.h"
#include "cli/Engine.h"
#include "cli/LinkControl.h"
#include "cli/ScenarioPlayer.h"

class CaptureWriter;
class Engine;
class LineWriter;
class SignalWatch;

class CliRunner {
public:
    CliRunner(const CliOptions& options, Engine& engine, SignalWatch& signals)
        : m_options(options), m_engine(engine), m_signals(signals)
    {
    }

    // The exit status: 0 after a run, 1 when the engine cannot open or start.
    int Run();

    // How long the ending waits for a stream that takes nothing more.
    static constexpr std::chrono::milliseconds kOutputPatience{1000};

private:
    using Clock = std::chrono::steady_clock;

    // Handles events and timers until something ends the run; returns what did.
    std::string RunUntilEnd(ControlQueue& queue, LineWriter& err);
    // What ended the run, if this event does.
    std::optional<std::string> Handle(const ControlEvent& event, LineWriter& err);
    void HandleChange(const Command& command, LineWriter& err);
    // Applies the scenario's steps that are due.
    void PlayScenario(LineWriter& err);
    double Seconds() const;
    // The engine's counters and the capture's.
    EngineStats AllStats() const;
    class Observers;

    const CliOptions& m_options;
    Engine& m_engine;
    SignalWatch& m_signals;
    Clock::time_point m_started;
    const CaptureWriter* m_capture = nullptr;  // while it runs
    std::optional<LinkControl> m_control;  // once the engine runs
    std::unique_ptr<ScenarioPlayer> m_scenario;  // while one runs
    LogHost* m_settingsLog = nullptr;             // while the engine runs
};
