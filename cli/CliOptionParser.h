#pragma once
// The command line: which flags there are, what each expects, and the
// usage and help texts, all from one table of options.

#include <string>
#include <vector>

#include "framework/core/CString.h"
#include "cli/CliOptions.h"

struct CliParse {
    enum class Outcome { Run, Help, Version, BadInput, ProfileList };
    Outcome outcome = Outcome::BadInput;
    CliOptions options;
    // BadInput: one line that names the flag and what it expects.
    std::string error;
};

// Reads the arguments that follow the program's name. Values are checked
// as the dialog's form reads its fields; the only files opened are those
// an option names (a delay table, a rate trace).
CliParse ParseCommandLine(const std::vector<CString>& arguments);

// The usage lines, each ending in "\n".
std::string UsageText();
// The usage, every option and every standard-input command.
std::string HelpText();
