#pragma once
// A scenario file: one command a line, each at a time counted from the
// moment dulvet is ready ("1.5s", "250ms") or from the step before it
// ("+5s"), a ramp for numeric settings ("10s set --delay 300 over 5s"),
// "# comments", and an optional last line "repeat". Reading the file checks
// its times and its form; what each command means is checked by whoever
// runs it, through the check given to ParseScenario.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ScenarioStep {
    std::chrono::nanoseconds at{0};  // from the start
    std::string command;             // "set --delay 300", as standard input takes it
    std::optional<std::chrono::nanoseconds> over;  // a ramp's length
    int line = 0;                    // in the file, from 1
};

struct Scenario {
    std::string name;  // the file's, for messages
    std::vector<ScenarioStep> steps;
    // "repeat": the steps start over every `period` (the last step's time).
    bool repeat = false;
    std::chrono::nanoseconds Period() const { return steps.empty() ? std::chrono::nanoseconds(0) : steps.back().at; }
};

struct ScenarioParse {
    std::shared_ptr<const Scenario> scenario;  // null when it does not read
    std::string error;                          // "FILE:LINE: expected ..., got '...'"
};

// Checks one step's command in the order of the file; returns what is
// wrong with it in words, or nothing.
using ScenarioCheck = std::function<std::optional<std::string>(const ScenarioStep& step)>;

ScenarioParse ParseScenario(std::string_view text, const std::string& name, const ScenarioCheck& check);

// "1.5s", "250ms", "0s" as a length of time; nothing when it is not one.
std::optional<std::chrono::nanoseconds> ParseScenarioTime(std::string_view text);
// A length of time as the file would give it: "1.5s", "250ms".
std::string ScenarioTimeText(std::chrono::nanoseconds time);

// The largest scenario read, from a file or the control API.
inline constexpr std::size_t kLargestScenarioBytes = 1 << 20;

// A ramp moves in steps of at most this.
inline constexpr std::chrono::milliseconds kRampStep{100};
