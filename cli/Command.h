#pragma once
// The commands dulvet takes on standard input, one a line.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/LinkSettings.h"

struct Command {
    enum class Kind { Modify, Stats, Quit, Set, Show, Down, Up };
    Kind kind = Kind::Stats;
    double lossPercent = 0;    // Modify
    std::int32_t delayMs = 0;  // Modify
    std::vector<std::string> words = {};     // Set: the words after "set", read against the settings in force
    LinkDirection way = LinkDirection::Both;  // Down
    std::optional<double> seconds = {};      // Down; nothing: until up
};

struct CommandParse {
    // Nothing for a blank line and for a line that does not read.
    std::optional<Command> command;
    // A line that does not read: what was expected, in one line.
    std::string error;
};

// One line of input, without its line end (a trailing "\r" is allowed).
CommandParse ParseCommand(std::string_view line);

// Every command with what it does, one a line, for the help text.
std::string CommandHelp();
