#pragma once
// Every option of dulvet, described once: its flag, the form of its value,
// its help, how it is read and written back, whether it is fixed at start
// or may change while the link runs, and its JSON key (the flag without
// its dashes). The command line, `set`, scenario files and the control API
// all read options through this table.

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli/CliOptions.h"

enum class OptionGroup { Dialog, Link };   // Link: giving it runs the link engine
enum class OptionTime { AtStart, Live };   // Live: `set` and the API may change it
enum class ValueForm { Switch, Number, Word };  // in JSON: true/false, a number, a string

using OptionProblem = std::optional<std::string>;  // nothing when the value read

struct OptionRule {
    std::string_view flag = {};
    std::string_view valueName = {};  // empty for a switch
    ValueForm form = ValueForm::Switch;
    bool required = false;
    std::string_view help = {};
    // Reads the value (empty for a switch) into the options, or says what the flag expects.
    OptionProblem (*read)(CliOptions& options, std::wstring_view value) = nullptr;
    // The value as the command line gives it ("" for a switch that is on),
    // or nothing when the option is at its default.
    std::optional<std::string> (*write)(const CliOptions& options) = nullptr;
    // Live options: what `off` (JSON null or false) makes of it, the
    // setting's default (no loss, no delay, no rate, to-server only, ...).
    void (*switchOff)(LinkSettings& settings) = nullptr;
    OptionGroup group = OptionGroup::Dialog;
    OptionTime time = OptionTime::AtStart;
    bool repeatable = false;  // each time adds to what the earlier ones gave

    bool IsSwitch() const { return valueName.empty(); }
    std::string Key() const { return std::string(flag.substr(2)); }
};

std::span<const OptionRule> OptionTable();
// The rule of a flag ("--jitter") or a key ("jitter"); null for none.
const OptionRule* FindOption(std::string_view flag);
const OptionRule* FindOptionByKey(std::string_view key);

// The rules between options that no single value breaks, for the options
// given together (on the command line or in one `set`): the settings'
// checks, and an option that would change nothing refused as a mistake.
OptionProblem CheckTogether(const LinkOptions& options, const std::function<bool(std::string_view flag)>& given);

// A number as the command line writes it: the shortest text that reads back the same.
std::string NumberText(double value);
