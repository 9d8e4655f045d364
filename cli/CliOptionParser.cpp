#include "cli/CliOptionParser.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string_view>

#include "cli/Command.h"
#include "framework/core/Ipv4Text.h"
#include "framework/core/NumberText.h"

namespace {

using Problem = std::optional<std::string>;  // nothing when the value read

std::string Utf8(std::wstring_view text) { return CString(text).ToUtf8(); }

std::string Quoted(std::wstring_view value) { return std::string("'").append(Utf8(value)).append("'"); }

// ADDR:PORT with a plain dotted-decimal address and a port 1..65535, read
// as the dialog reads its port fields.
Problem ReadEndpoint(std::wstring_view value, CString& address, std::int32_t& port)
{
    const Problem problem = "expects ADDR:PORT, a dotted IPv4 address and a port from 1 to 65535 "
                            "(like 127.0.0.1:5000), not " + Quoted(value);
    const size_t colon = value.rfind(L':');
    if (colon == std::wstring_view::npos)
        return problem;
    const auto host = ParseDottedIpv4(value.substr(0, colon));
    const auto number = ParseInt32(value.substr(colon + 1));
    if (!host || !number || *number < 1 || *number > 65535)
        return problem;
    address = FormatIpv4(*host);
    port = *number;
    return std::nullopt;
}

Problem ReadListen(CliOptions& options, std::wstring_view value)
{
    return ReadEndpoint(value, options.listenAddress, options.listenPort);
}

Problem ReadServer(CliOptions& options, std::wstring_view value)
{
    if (Problem problem = ReadEndpoint(value, options.serverAddress, options.serverPort))
        return problem;
    // 0.x.x.x is no host one can send to (an empty dialog field reads so).
    if (ParseIpv4(options.serverAddress.View()).value_or(0) >> 24 == 0)
        return "expects the server's own IPv4 address, not " + Quoted(value) + " (0.x.x.x reaches no server)";
    return std::nullopt;
}

// The value as a reader took it, or else what the flag expects.
template <typename Target, typename Value>
Problem Take(Target& target, const std::optional<Value>& read, std::string_view expected, std::wstring_view value)
{
    if (!read)
        return std::string(expected) + Quoted(value);
    target = *read;
    return std::nullopt;
}

Problem ReadLoss(CliOptions& options, std::wstring_view value)
{
    return Take(options.lossPercent, ParseDouble(value),
                "expects a loss rate in percent, a decimal number like 25 or 0.5, not ", value);
}

Problem ReadDelay(CliOptions& options, std::wstring_view value)
{
    return Take(options.delayMs, ParseInt32(value), "expects a delay in whole milliseconds (a 32-bit integer), not ",
                value);
}

// A number of seconds for a timer: from a hundredth of a second (a stats
// line at most every 10 ms) up to some 30 years.
std::optional<double> ReadSeconds(std::wstring_view value)
{
    const auto seconds = ParseDouble(value);
    if (!seconds || *seconds < 0.01 || *seconds > 1e9)
        return std::nullopt;
    return seconds;
}

constexpr std::string_view kSecondsExpected = "expects a number of seconds from 0.01 to 1000000000, not ";

Problem ReadStats(CliOptions& options, std::wstring_view value)
{
    return Take(options.statsSeconds, ReadSeconds(value), kSecondsExpected, value);
}

Problem ReadDuration(CliOptions& options, std::wstring_view value)
{
    return Take(options.durationSeconds, ReadSeconds(value), kSecondsExpected, value);
}

Problem SetQuiet(CliOptions& options, std::wstring_view)
{
    options.quiet = true;
    return std::nullopt;
}

// The link engine's options. Each reader takes the value's form; the
// ranges and the rules between options are ValidateLinkOptions's.

std::optional<double> ReadFinite(std::wstring_view value) { return ParseDouble(value); }

constexpr std::string_view kPercentExpected = "expects a percentage from 0 to 100, a decimal number like 5 or 0.5, not ";

Problem SetPipeline(CliOptions& options, std::wstring_view)
{
    options.link.pipeline = true;
    return std::nullopt;
}

Problem ReadJitter(CliOptions& options, std::wstring_view value)
{
    options.link.pipeline = true;  // --jitter 0 too: each datagram waits on its own
    return Take(options.link.jitterMs, ReadFinite(value),
                "expects a jitter in milliseconds, a number like 5 or 0.5, not ", value);
}

Problem SetKeepOrder(CliOptions& options, std::wstring_view)
{
    options.link.keepOrder = true;
    return std::nullopt;
}

Problem ReadRandomLoss(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.randomLossPercent, ReadFinite(value), kPercentExpected, value);
}

Problem ReadBurstLoss(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.burstLoss, ParseBurstLoss(Utf8(value)),
                "expects two percentages P,R (the chance to enter a loss burst, the chance to leave it), like 5,50, "
                "not ",
                value);
}

Problem ReadDirection(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.direction, ParseLinkDirection(Utf8(value)), "expects to-server, to-client or both, not ",
                value);
}

// Decimal digits only, up to 2^64 - 1.
std::optional<std::uint64_t> ParseSeed(std::wstring_view value)
{
    const std::string text = Utf8(value);
    std::uint64_t seed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seed);
    if (text.empty() || text[0] == '-' || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return seed;
}

Problem ReadSeed(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.seed, ParseSeed(value),
                "expects a whole number from 0 to 18446744073709551615, not ", value);
}

Problem ReadRate(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.rateKbit, ReadFinite(value),
                "expects kilobits per second, a number like 512 or 1.5, not ", value);
}

Problem ReadQueue(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.queueLimit, ParseInt32(value), "expects a whole number of datagrams, not ", value);
}

Problem ReadDuplicate(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.duplicatePercent, ReadFinite(value), kPercentExpected, value);
}

Problem ReadReorder(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.reorderPercent, ReadFinite(value), kPercentExpected, value);
}

Problem ReadClients(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.clients, ParseClientsMode(Utf8(value)), "expects last or each, not ", value);
}

Problem ReadSessionIdle(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.sessionIdleSeconds, ReadFinite(value),
                "expects a number of seconds, like 60 or 0.5, not ", value);
}

enum class Group { Dialog, Link };

struct OptionRule {
    std::string_view flag;
    std::string_view valueName;  // empty for a switch
    bool required;
    std::string_view help;
    Problem (*read)(CliOptions& options, std::wstring_view value);
    Group group = Group::Dialog;  // Link: giving it runs the link engine
};

constexpr std::array kOptions{
    OptionRule{"--listen", "ADDR:PORT", true, "where clients send: the relay's own address and port", ReadListen},
    OptionRule{"--server", "ADDR:PORT", true, "where the server listens", ReadServer},
    OptionRule{"--loss", "PERCENT", false,
               "drop 1 client datagram in trunc(100/PERCENT) (default 0)",
               ReadLoss},
    OptionRule{"--delay", "MS", false, "pause before each client datagram, in ms (default 0)", ReadDelay},
    OptionRule{"--quiet", "", false, "no line per datagram (settings lines remain)", SetQuiet},
    OptionRule{"--stats", "SECONDS", false, "a JSON line of counters on stderr every SECONDS", ReadStats},
    OptionRule{"--duration", "SECONDS", false, "end after SECONDS", ReadDuration},
    OptionRule{"--pipeline", "", false, "each datagram waits --delay from its own arrival", SetPipeline,
               Group::Link},
    OptionRule{"--jitter", "MS", false, "each delay +/- up to MS, uniform (implies --pipeline)", ReadJitter,
               Group::Link},
    OptionRule{"--keep-order", "", false, "never leave before one that arrived earlier", SetKeepOrder, Group::Link},
    OptionRule{"--random-loss", "PERCENT", false, "drop each datagram with this chance", ReadRandomLoss, Group::Link},
    OptionRule{"--burst-loss", "P,R", false, "P % chance to enter a loss burst, R % to leave it", ReadBurstLoss,
               Group::Link},
    OptionRule{"--direction", "to-server|to-client|both", false, "where the rules apply (default to-server)",
               ReadDirection, Group::Link},
    OptionRule{"--seed", "N", false, "seed of all random choices (else one chosen, on stderr)", ReadSeed,
               Group::Link},
    OptionRule{"--rate", "KBIT", false, "at most KBIT kilobits a second; datagrams queue", ReadRate, Group::Link},
    OptionRule{"--queue", "N", false, "with --rate: at most N datagrams queue (default 1000)", ReadQueue,
               Group::Link},
    OptionRule{"--duplicate", "PERCENT", false, "send this share of datagrams twice", ReadDuplicate, Group::Link},
    OptionRule{"--reorder", "PERCENT", false, "this share skips its delay (needs --delay)", ReadReorder,
               Group::Link},
    OptionRule{"--clients", "last|each", false, "replies to the last client (default), or a session each",
               ReadClients, Group::Link},
    OptionRule{"--session-idle", "SECONDS", false, "a session closes after SECONDS idle (default 60)",
               ReadSessionIdle, Group::Link},
};

// The link engine's options from the command line's: the endpoints, loss
// and delay as read, then the checks between the options.
Problem CompleteLinkOptions(CliOptions& options, const std::array<bool, kOptions.size()>& given)
{
    const auto wasGiven = [&](std::string_view flag) {
        for (size_t k = 0; k < kOptions.size(); ++k)
            if (kOptions[k].flag == flag)
                return given[k];
        return false;
    };
    LinkOptions& link = options.link;
    link.listenAddress = options.listenAddress;
    link.listenPort = static_cast<unsigned>(options.listenPort);
    link.serverAddress = options.serverAddress;
    link.serverPort = static_cast<unsigned>(options.serverPort);
    link.lossPercent = options.lossPercent;
    link.delayMs = options.delayMs;
    if (Problem problem = ValidateLinkOptions(link))
        return problem;
    // An option that would change nothing is more likely a mistake than a wish.
    if (wasGiven("--queue") && !link.rateKbit)
        return std::string("--queue bounds the queue of a rate-limited link: it needs --rate");
    if (wasGiven("--session-idle") && link.clients != ClientsMode::Each)
        return std::string("--session-idle applies to the sessions of --clients each");
    return std::nullopt;
}

constexpr std::string_view kHelpFlag = "--help";
constexpr size_t kHelpColumn = 24;  // where each option's help starts
constexpr std::string_view kVersionFlag = "--version";

const OptionRule* FindOption(std::wstring_view flag)
{
    for (const OptionRule& rule : kOptions) {
        if (CString::FromUtf8(rule.flag).View() == flag)
            return &rule;
    }
    return nullptr;
}

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

}  // namespace

CliParse ParseCommandLine(const std::vector<CString>& arguments)
{
    CliParse parse;
    std::array<bool, kOptions.size()> given{};
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
        const OptionRule* rule = FindOption(argument.substr(0, equals));
        if (!rule)
            return Bad("unknown option " + Quoted(argument.substr(0, equals)));
        const std::string flag(rule->flag);
        bool& seen = given[static_cast<size_t>(rule - kOptions.data())];
        if (seen)
            return Bad(flag + " is given twice");
        seen = true;
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
        if (const Problem problem = rule->read(parse.options, value))
            return Bad(flag + " " + *problem);
        parse.options.linkEngine |= rule->group == Group::Link;
    }
    for (size_t k = 0; k < kOptions.size(); ++k) {
        if (kOptions[k].required && !given[k])
            return Bad(std::string(kOptions[k].flag) + " " + std::string(kOptions[k].valueName) + " is required");
    }
    if (parse.options.linkEngine) {
        if (Problem problem = CompleteLinkOptions(parse.options, given))
            return Bad(*problem);
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
    Group group = Group::Dialog;
    for (const OptionRule& rule : kOptions) {
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
    const auto options = [&](Group group) {
        std::string list;
        for (const OptionRule& rule : kOptions)
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
    text += options(Group::Dialog);
    text += entry(std::string(kHelpFlag), "this text");
    text += entry(std::string(kVersionFlag), "the version");
    text += "\nThe link engine: any of these options runs it instead of the dialog's relay.\n"
            "Each datagram meets, in this order: --loss, --burst-loss, --random-loss,\n"
            "--rate and --queue, --reorder, --delay and --jitter, --keep-order, --duplicate.\n";
    text += options(Group::Link);
    text += "\nCommands on standard input, one a line (its end does not end the relay):\n";
    text += CommandHelp();
    text += "\nIt ends on 'quit', Ctrl+C, SIGTERM or after --duration, with a summary on\n"
            "standard error and exit status 0. Bad options: status 2; a relay port that\n"
            "cannot be opened: status 1.\n";
    return text;
}
