#pragma once
// When a scenario's steps fall due: each step at its time from the start,
// a ramp as parts of at most kRampStep each, and with "repeat" the whole
// again every period. Pure: the caller says what time it is (any clock,
// in nanoseconds), the timeline says what is due, earliest first.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "scenario/Scenario.h"

struct ScenarioEvent {
    std::chrono::nanoseconds at{0};  // on the caller's clock
    const ScenarioStep* step = nullptr;
    // A ramp's part: 0 at its start (nothing moves yet), then 1..parts,
    // the value at part/parts of the way. A plain step: 0 of 0.
    int part = 0;
    int parts = 0;
    std::chrono::nanoseconds begun{0};  // a ramp's part 0
};

class ScenarioTimeline {
public:
    ScenarioTimeline(std::shared_ptr<const Scenario> scenario, std::chrono::nanoseconds start);

    // When the next event falls due; nothing once all have.
    std::optional<std::chrono::nanoseconds> NextTime() const;
    // The earliest event, not taken; nothing once all have been.
    std::optional<ScenarioEvent> Next() const;
    // The earliest event due at `now`, taken; nothing when none is.
    std::optional<ScenarioEvent> TakeDue(std::chrono::nanoseconds now);

private:
    void QueueNextStep();
    struct Pending {
        ScenarioEvent event;
        std::uint64_t order = 0;
    };
    std::vector<Pending>::const_iterator Earliest() const;

    std::shared_ptr<const Scenario> m_scenario;
    std::chrono::nanoseconds m_start;
    std::size_t m_nextStep = 0;   // in the file
    std::uint64_t m_pass = 0;     // times through it
    std::uint64_t m_order = 0;    // among events at the same time: in the order queued
    std::vector<Pending> m_pending;  // the next step and the parts of ramps under way
};
