#pragma once
// A scenario (scenario/) run against the link: its file checked line by
// line before anything opens, as the settings would stand at each step,
// and its steps handed to LinkControl as the same commands on standard
// input would be, each with its time, a little ahead, so that the link
// engine applies it on time (engine-timed steps). Used by the console
// program's main loop, which wakes at WakeTime.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliOptions.h"
#include "link/LinkClock.h"
#include "scenario/ScenarioTimeline.h"

class LinkControl;

// Reads a scenario's text against the options dulvet starts with: the
// error names the file, the line and what was expected.
ScenarioParse ReadScenario(std::string_view text, const std::string& name, const CliOptions& options);

class ScenarioPlayer {
public:
    // start: the moment the scenario's 0s is, on the clock Play is given.
    ScenarioPlayer(std::shared_ptr<const Scenario> scenario, LinkTime start)
        : m_timeline(scenario, start), m_start(start), m_scenario(std::move(scenario))
    {
    }

    // The time of the next step not yet handed over.
    std::optional<LinkTime> NextTime() const { return m_timeline.NextTime(); }
    // When Play has the next step to hand over: kLead before its time, so
    // that the link engine holds it and applies it on time on its own
    // thread however late this caller wakes; a modify (which the dialog's
    // relay takes too, at once) at its time.
    std::optional<LinkTime> WakeTime() const;
    static constexpr std::chrono::milliseconds kLead{50};
    // Hands over every step due by `now` + kLead (a modify: by `now`) with
    // its time; says first that the scenario has started ("Scenario
    // flapping-link.txt started: 4 steps, repeating every 10s"), then each
    // step on `log` as it is handed over ("Scenario line 4 at 10s: set
    // --delay 300", the time counted from the start, repeats included; the
    // engine's own line follows as it applies), and what went wrong with
    // one on `problem`.
    using Say = std::function<void(const std::string& line)>;
    void Play(LinkTime now, LinkControl& control, const Say& log, const Say& problem);

private:
    void Step(const ScenarioEvent& event, LinkControl& control, const Say& log, const Say& problem);
    void Ramp(const ScenarioEvent& event, LinkControl& control, const Say& log, const Say& problem);

    ScenarioTimeline m_timeline;
    LinkTime m_start;
    bool m_announced = false;
    std::shared_ptr<const Scenario> m_scenario;
    // The ramps under way, by the step's line: each option and the value it starts from and goes to.
    struct Move {
        std::string flag;
        double from = 0;
        double to = 0;
    };
    std::map<int, std::vector<Move>> m_ramps;
};
