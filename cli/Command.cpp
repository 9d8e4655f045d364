#include "cli/Command.h"

#include <algorithm>
#include <array>
#include <vector>

#include "cli/ShownText.h"
#include "framework/core/CString.h"
#include "framework/core/NumberText.h"

namespace {

std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    for (size_t i = 0; i < line.size();) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        const size_t start = i;
        while (i < line.size() && !isBlank(line[i]))
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

std::wstring Wide(std::string_view word) { return std::wstring(CString::FromUtf8(word).View()); }

// The same readers as the dialog's loss rate and delay fields.
std::optional<Command> ReadModify(const std::vector<std::string_view>& arguments)
{
    if (arguments.size() != 2)
        return std::nullopt;
    const auto loss = ParseDouble(Wide(arguments[0]));
    const auto delay = ParseInt32(Wide(arguments[1]));
    if (!loss || !delay)
        return std::nullopt;
    return Command{Command::Kind::Modify, *loss, *delay};
}

std::optional<Command> ReadStats(const std::vector<std::string_view>& arguments)
{
    return arguments.empty() ? std::optional(Command{Command::Kind::Stats}) : std::nullopt;
}

std::optional<Command> ReadQuit(const std::vector<std::string_view>& arguments)
{
    return arguments.empty() ? std::optional(Command{Command::Kind::Quit}) : std::nullopt;
}

std::optional<Command> ReadSet(const std::vector<std::string_view>& arguments)
{
    Command command{Command::Kind::Set};
    command.words.assign(arguments.begin(), arguments.end());
    return command;
}

std::optional<Command> ReadShow(const std::vector<std::string_view>& arguments)
{
    return arguments.empty() ? std::optional(Command{Command::Kind::Show}) : std::nullopt;
}

std::optional<Command> ReadDown(const std::vector<std::string_view>& arguments)
{
    Command command{Command::Kind::Down};
    size_t next = 0;
    if (next < arguments.size()) {
        if (const auto way = ParseLinkDirection(arguments[next])) {
            command.way = *way;
            ++next;
        }
    }
    if (next < arguments.size()) {
        command.seconds = ParseDouble(Wide(arguments[next++]));
        if (!command.seconds || !(*command.seconds > 0) || *command.seconds > 1e9)
            return std::nullopt;
    }
    return next == arguments.size() ? std::optional(command) : std::nullopt;
}

std::optional<Command> ReadUp(const std::vector<std::string_view>& arguments)
{
    return arguments.empty() ? std::optional(Command{Command::Kind::Up}) : std::nullopt;
}

struct CommandRule {
    std::string_view name;
    std::string_view form;     // the whole line as expected
    std::string_view details;  // what the values are, for a line that does not read
    std::string_view help;
    // The command from the words after its name, or nothing if they do not read.
    std::optional<Command> (*read)(const std::vector<std::string_view>& arguments);
};

constexpr std::array kCommands{
    CommandRule{"modify", "modify LOSS DELAY",
                " with LOSS a number in percent and DELAY whole milliseconds, like 'modify 25 100'",
                "new loss rate and delay; the drop counter carries on", ReadModify},
    CommandRule{"set", "set OPTION VALUE ...", ", any option of the link as on the command line, 'off' to switch one off",
                "change the link: 'set --jitter 20 --rate off'", ReadSet},
    CommandRule{"show", "show", " alone", "the command line that starts the same link, on stderr", ReadShow},
    CommandRule{"down", "down [to-server|to-client|both] [SECONDS]",
                " with SECONDS a number more than 0, like 'down to-server 5'",
                "the link down (both ways unless told) until up or SECONDS pass", ReadDown},
    CommandRule{"up", "up", " alone", "the link up again", ReadUp},
    CommandRule{"stats", "stats", " alone", "one stats line on stderr now", ReadStats},
    CommandRule{"quit", "quit", " alone", "stop relaying and end", ReadQuit},
};

std::string ExpectedForms()
{
    std::string forms;
    for (size_t i = 0; i < kCommands.size(); ++i) {
        forms += i == 0 ? "" : i + 1 == kCommands.size() ? " or " : ", ";
        forms.append("'").append(kCommands[i].form).append("'");
    }
    return forms;
}

}  // namespace

CommandParse ParseCommand(std::string_view line)
{
    std::vector<std::string_view> words = Words(line);
    if (words.empty())
        return {};
    const std::string_view name = words.front();
    words.erase(words.begin());
    for (const CommandRule& rule : kCommands) {
        if (rule.name != name)
            continue;
        if (auto command = rule.read(words))
            return {command, {}};
        const std::string_view given = line.substr(0, line.find_last_not_of('\r') + 1);
        return {std::nullopt, std::string(rule.name) + ": expected '" + std::string(rule.form) + "'" +
                                  std::string(rule.details) + "; got '" + ShownText(given) + "'"};
    }
    return {std::nullopt, std::string("unknown command '").append(ShownText(name)).append("': expected ") + ExpectedForms()};
}

std::string CommandHelp()
{
    std::string help;
    for (const CommandRule& rule : kCommands) {
        std::string form(rule.form);
        form.resize(std::max<size_t>(form.size() + 2, 22), ' ');
        help += "  " + form + std::string(rule.help) + "\n";
    }
    return help;
}
