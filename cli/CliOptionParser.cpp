#include "CliOptionParser.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#include "Command.h"
#include "Ipv4Text.h"
#include "NumberText.h"

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

struct OptionSpec {
    std::string_view flag;
    std::string_view valueName;  // empty for a switch
    bool required;
    std::string_view help;
    Problem (*read)(CliOptions& options, std::wstring_view value);
};

constexpr std::array kOptions{
    OptionSpec{"--listen", "ADDR:PORT", true, "where clients send: the relay's own address and port", ReadListen},
    OptionSpec{"--server", "ADDR:PORT", true, "where the server listens", ReadServer},
    OptionSpec{"--loss", "PERCENT", false,
               "drop 1 client datagram in trunc(100/PERCENT) (default 0)",
               ReadLoss},
    OptionSpec{"--delay", "MS", false, "pause before each client datagram, in ms (default 0)", ReadDelay},
    OptionSpec{"--quiet", "", false, "no line per datagram (settings lines remain)", SetQuiet},
    OptionSpec{"--stats", "SECONDS", false, "a JSON line of counters on stderr every SECONDS", ReadStats},
    OptionSpec{"--duration", "SECONDS", false, "end after SECONDS", ReadDuration},
};

constexpr std::string_view kHelpFlag = "--help";
constexpr std::string_view kVersionFlag = "--version";

const OptionSpec* FindOption(std::wstring_view flag)
{
    for (const OptionSpec& spec : kOptions) {
        if (CString::FromUtf8(spec.flag).View() == flag)
            return &spec;
    }
    return nullptr;
}

std::string Synopsis(const OptionSpec& spec)
{
    std::string text(spec.flag);
    if (!spec.valueName.empty())
        text.append(" ").append(spec.valueName);
    return spec.required ? text : std::string("[").append(text).append("]");
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
        const OptionSpec* spec = FindOption(argument.substr(0, equals));
        if (!spec)
            return Bad("unknown option " + Quoted(argument.substr(0, equals)));
        const std::string flag(spec->flag);
        bool& seen = given[static_cast<size_t>(spec - kOptions.data())];
        if (seen)
            return Bad(flag + " is given twice");
        seen = true;
        std::wstring_view value;
        if (spec->valueName.empty()) {
            if (equals != std::wstring_view::npos)
                return Bad(flag + " takes no value");
        } else if (equals != std::wstring_view::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i].View();
        } else {
            return Bad(flag + " needs a value: " + flag + " " + std::string(spec->valueName));
        }
        if (const Problem problem = spec->read(parse.options, value))
            return Bad(flag + " " + *problem);
    }
    for (size_t k = 0; k < kOptions.size(); ++k) {
        if (kOptions[k].required && !given[k])
            return Bad(std::string(kOptions[k].flag) + " " + std::string(kOptions[k].valueName) + " is required");
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
    for (const OptionSpec& spec : kOptions) {
        const std::string part = Synopsis(spec);
        if (lineLength + 1 + part.size() > kWidth) {
            text.append("\n").append(head.size(), ' ');
            lineLength = head.size();
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
        left.resize(std::max<size_t>(left.size() + 2, 22), ' ');
        return "  " + left + std::string(help) + "\n";
    };
    std::string text = UsageText();
    text += "\nRelays UDP datagrams between clients and one server over a poor link: each\n"
            "client datagram waits the delay, one in every N is dropped, and the server's\n"
            "replies go straight back to the client that sent last. One line per datagram\n"
            "on standard output, as the Dulvet dialog's log shows them.\n\nOptions:\n";
    for (const OptionSpec& spec : kOptions)
        text += entry(std::string(spec.flag) + (spec.valueName.empty() ? "" : " ") + std::string(spec.valueName),
                      spec.help);
    text += entry(std::string(kHelpFlag), "this text");
    text += entry(std::string(kVersionFlag), "the version");
    text += "\nCommands on standard input, one a line (its end does not end the relay):\n";
    text += CommandHelp();
    text += "\nIt ends on 'quit', Ctrl+C, SIGTERM or after --duration, with a summary on\n"
            "standard error and exit status 0. Bad options: status 2; a relay port that\n"
            "cannot be opened: status 1.\n";
    return text;
}
