#pragma once
// A change to the running link's settings, read as `set` takes it (the
// command line's own syntax, `off` switching a setting off) against the
// settings in force, and the settings written back as a command line.
// The control API and scenario files give their changes in the same words.

#include <string>
#include <vector>

#include "cli/CliOptions.h"

struct SettingsChange {
    enum class Outcome { Changed, Bad, Fixed };
    Outcome outcome = Outcome::Bad;
    LinkSettings settings;  // Changed: the whole new value
    std::string error;      // Bad, Fixed: one line naming the option
};

// The words after "set": "--flag VALUE", "--flag=VALUE", "--switch",
// "--flag off". Nothing changes when any part is bad; an option fixed at
// start is refused by name.
SettingsChange ReadSettingsChange(const std::vector<std::string>& words, const LinkOptions& current);

// The live options whose values differ, as they would be set:
// "--jitter 20 --rate off"; empty when none does.
std::string ChangedOptions(const LinkOptions& before, const LinkSettings& after);

// A command line that would start the same relay with the same link
// (options at their defaults left out), e.g.
// "dulvet --listen 127.0.0.1:5000 --server 127.0.0.1:6000 --pipeline --delay 100".
std::string CommandLineOf(const CliOptions& options);
