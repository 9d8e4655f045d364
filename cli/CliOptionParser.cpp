#include "cli/CliOptionParser.h"

#include <algorithm>
#include <span>
#include <optional>
#include <string_view>

#include "cli/Command.h"
#include "cli/OptionTable.h"
#include "cli/Profiles.h"
#include "cli/ScenarioPlayer.h"
#include "cli/ShownText.h"
#include "framework/core/TextFile.h"

namespace {

// A server at the relay's own address and port would have the relay send to
// itself: with sessions one datagram opens thousands of them. A relay that
// listens on every address (0.0.0.0, [::]) is also every loopback address
// of the families it takes.
OptionProblem CheckServerIsNotRelay(const LinkOptions& link)
{
    const IpEndpoint& server = link.server;
    const auto isRelay = [&server](const IpEndpoint& listen) {
        if (listen.Port() != server.Port())
            return false;
        if (listen == server)
            return true;
        const bool takesFamily = listen.IsV4() == server.IsV4() || (!listen.IsV4() && server.IsV4());
        return listen.IsUnspecified() && takesFamily && server.IsLoopback();
    };
    if (std::none_of(link.listen.begin(), link.listen.end(), isRelay))
        return std::nullopt;
    return "--server " + server.ToText().ToUtf8() + " is the relay's own --listen address: it would relay to itself";
}

constexpr std::string_view kHelpFlag = "--help";
constexpr size_t kHelpColumn = 24;  // where each option's help starts
constexpr std::string_view kVersionFlag = "--version";

std::string Synopsis(const OptionRule& rule)
{
    std::string text(rule.flag);
    if (!rule.valueName.empty())
        text.append(" ").append(rule.valueName);
    return rule.required ? text : std::string("[").append(text).append("]");
}

CliParse Bad(std::string error)
{
    CliParse parse;
    parse.outcome = CliParse::Outcome::BadInput;
    parse.error = std::move(error);
    return parse;
}

std::string ProfileNames()
{
    std::string names;
    for (const auto& profile : LinkProfiles())
        names.append(profile.name).append(", ");
    return names + "or help";
}

// The command line with --profile NAME followed by the options it stands
// for, each marked as the profile's; or the outcome when --profile ends the
// parse (help, an unknown name, a second profile).
std::optional<CliParse> ExpandProfile(const std::vector<CString>& commandLine, std::vector<CString>& arguments,
                                      std::vector<bool>& fromProfile, CliOptions& options)
{
    const std::wstring_view flag = L"--profile";
    for (size_t i = 0; i < commandLine.size(); ++i) {
        const std::wstring_view argument = commandLine[i].View();
        const bool joined = argument.starts_with(L"--profile=");
        if (argument != flag && !joined) {
            arguments.push_back(commandLine[i]);
            fromProfile.push_back(false);
            continue;
        }
        std::wstring_view name;
        if (joined)
            name = argument.substr(flag.size() + 1);
        else if (i + 1 < commandLine.size())
            name = commandLine[++i].View();
        else
            return Bad("--profile needs a value: --profile NAME (--profile help lists them)");
        if (name == L"help")
            return CliParse{CliParse::Outcome::ProfileList, {}, {}};
        if (!options.profileLine.empty())
            return Bad("--profile is given twice");
        const LinkProfile* profile = FindLinkProfile(Utf8(name));
        if (!profile)
            return Bad("--profile expects " + ProfileNames() + ", not " + Quoted(name));
        options.profileLine = "profile " + std::string(profile->name) + ": " + std::string(profile->options);
        arguments.push_back(CString(flag));  // counts as a link option
        arguments.push_back(CString(name));
        fromProfile.insert(fromProfile.end(), 2, false);
        for (const auto& word : ProfileArguments(*profile)) {
            arguments.push_back(CString::FromUtf8(word));
            fromProfile.push_back(true);
        }
    }
    return std::nullopt;
}

}  // namespace

CliParse ParseCommandLine(const std::vector<CString>& commandLine)
{
    CliParse parse;
    std::vector<CString> arguments;
    std::vector<bool> fromProfile;
    if (std::optional<CliParse> profileOutcome = ExpandProfile(commandLine, arguments, fromProfile, parse.options))
        return *profileOutcome;
    const std::span<const OptionRule> table = OptionTable();
    std::vector<bool> given(table.size());
    std::vector<bool> givenByUser(table.size());
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring_view argument = arguments[i].View();
        if (argument == CString::FromUtf8(kHelpFlag).View())
            return CliParse{CliParse::Outcome::Help, {}, {}};
        if (argument == CString::FromUtf8(kVersionFlag).View())
            return CliParse{CliParse::Outcome::Version, {}, {}};
        if (!argument.starts_with(L"--"))
            return Bad("unexpected argument " + Quoted(argument));
        // --flag VALUE or --flag=VALUE
        const size_t equals = argument.find(L'=');
        const OptionRule* rule = FindOption(Utf8(argument.substr(0, equals)));
        if (!rule)
            return Bad("unknown option " + Quoted(argument.substr(0, equals)));
        const std::string flag(rule->flag);
        const auto index = static_cast<size_t>(rule - table.data());
        // An option the profile gave may be given again; one the user gave, not.
        if (!fromProfile[i] && givenByUser[index] && !rule->repeatable)
            return Bad(flag + " is given twice");
        givenByUser[index] = givenByUser[index] || !fromProfile[i];
        given[index] = true;
        std::wstring_view value;
        if (rule->valueName.empty()) {
            if (equals != std::wstring_view::npos)
                return Bad(flag + " takes no value");
        } else if (equals != std::wstring_view::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i].View();
        } else {
            return Bad(flag + " needs a value: " + flag + " " + std::string(rule->valueName));
        }
        if (const OptionProblem problem = rule->read(parse.options, value))
            return Bad(flag + " " + *problem);
        parse.options.linkEngine |= rule->group == OptionGroup::Link;
    }
    for (size_t k = 0; k < table.size(); ++k) {
        if (table[k].required && !given[k])
            return Bad(std::string(table[k].flag) + " " + std::string(table[k].valueName) + " is required");
    }
    if (OptionProblem problem = CheckServerIsNotRelay(parse.options.link))
        return Bad(*problem);
    if (parse.options.captureLimitMb && !parse.options.capturePath)
        return Bad("--capture-limit bounds the file of --capture: it needs --capture");
    if (parse.options.controlToken && !parse.options.controlAddress)
        return Bad("--control-token guards the control API: it needs --control");
    if (parse.options.controlAddress && !parse.options.controlToken &&
        parse.options.controlAddress->rfind("127.", 0) != 0)
        return Bad("--control " + *parse.options.controlAddress +
                   " is not a loopback address: anyone who reaches it could change the link; give "
                   "--control-token TOKEN as well, or use 127.0.0.1");
    if (parse.options.linkEngine) {
        const auto wasGiven = [&](std::string_view flag) {
            const OptionRule* rule = FindOption(flag);
            return rule && given[static_cast<size_t>(rule - table.data())];
        };
        if (OptionProblem problem = CheckTogether(parse.options.link, wasGiven))
            return Bad(*problem);
    }
    if (parse.options.scenarioPath) {
        // Checked against the settings it starts from, before anything opens.
        const TextFileReading file = ReadTextFile(*parse.options.scenarioPath, kLargestScenarioBytes);
        if (!file.ok)
            return Bad("--scenario " + file.problem);
        const ScenarioParse scenario = ReadScenario(file.text, *parse.options.scenarioPath, parse.options);
        if (!scenario.scenario)
            return Bad("--scenario " + scenario.error);
        parse.options.scenario = scenario.scenario;
    }
    parse.outcome = CliParse::Outcome::Run;
    return parse;
}

std::string UsageText()
{
    constexpr size_t kWidth = 80;
    const std::string head = "usage: dulvet";
    std::string text = head;
    size_t lineLength = text.size();
    OptionGroup group = OptionGroup::Dialog;
    for (const OptionRule& rule : OptionTable()) {
        const std::string part = Synopsis(rule);
        // The link engine's options start a line of their own.
        if (lineLength + 1 + part.size() > kWidth || rule.group != group) {
            text.append("\n").append(head.size(), ' ');
            lineLength = head.size();
            group = rule.group;
        }
        text += " " + part;
        lineLength += 1 + part.size();
    }
    text.append("\n       dulvet ").append(kHelpFlag).append(" | ").append(kVersionFlag).append("\n");
    return text;
}

std::string HelpText()
{
    const auto entry = [](std::string left, std::string_view help) {
        left = "  " + left;
        // A long flag has its help on the next line.
        if (left.size() + 2 > kHelpColumn)
            left.append("\n");
        const size_t lineStart = left.rfind('\n') == std::string::npos ? 0 : left.rfind('\n') + 1;
        left.append(kHelpColumn - std::min(kHelpColumn, left.size() - lineStart), ' ');
        return left + std::string(help) + "\n";
    };
    const auto options = [&](OptionGroup group) {
        std::string list;
        for (const OptionRule& rule : OptionTable())
            if (rule.group == group)
                list += entry(std::string(rule.flag) + (rule.valueName.empty() ? "" : " ") +
                                  std::string(rule.valueName),
                              rule.help);
        return list;
    };
    std::string text = UsageText();
    text += "\nRelays UDP datagrams between clients and one server over a poor link: each\n"
            "client datagram waits the delay, one in every N is dropped, and the server's\n"
            "replies go straight back to the client that sent last. One line per datagram\n"
            "on standard output, as the Dulvet dialog's log shows them.\n\nOptions:\n";
    text += options(OptionGroup::Dialog);
    text += entry(std::string(kHelpFlag), "this text");
    text += entry(std::string(kVersionFlag), "the version");
    text += "\nThe link engine: any of these options runs it instead of the relay engine.\n"
            "Each datagram meets, in this order: --loss, --burst-loss, --random-loss,\n"
            "--rate or --rate-trace and --queue, --reorder, --delay and --jitter (in its\n"
            "--distribution), --keep-order, --duplicate, --corrupt. A --profile stands for\n"
            "some of them; 'dulvet --profile help' lists the profiles.\n";
    text += options(OptionGroup::Link);
    text += "\nCommands on standard input, one a line (its end does not end the relay):\n";
    text += CommandHelp();
    text += "\nIt ends on 'quit', Ctrl+C, SIGTERM or after --duration, with a summary on\n"
            "standard error and exit status 0. Bad options: status 2; a relay port that\n"
            "cannot be opened: status 1.\n";
    return text;
}
