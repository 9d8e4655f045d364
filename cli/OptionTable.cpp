#include "cli/OptionTable.h"

#include <array>
#include <charconv>
#include <cmath>

#include "cli/ShownText.h"
#include "framework/core/EndpointLookup.h"
#include "framework/core/Ipv4Text.h"
#include "framework/core/NumberText.h"

namespace {

using Written = std::optional<std::string>;

// ADDR:PORT: a plain dotted-decimal IPv4 address, an IPv6 address in
// brackets or a host name (resolved now), and a port 1..65535.
OptionProblem ReadListen(CliOptions& options, std::wstring_view value)
{
    EndpointLookup lookup = LookUpEndpoints(value);
    if (!lookup.problem.empty())
        return ShownText(lookup.problem);
    options.link.listen = std::move(lookup.endpoints);
    options.listenText = CString(value);
    return std::nullopt;
}

// As given: a name stays a name.
Written WriteListen(const CliOptions& options)
{
    if (options.listenText.IsEmpty() && !options.link.listen.empty())
        return options.link.listen.front().ToText().ToUtf8();
    return options.listenText.ToUtf8();
}

OptionProblem ReadServer(CliOptions& options, std::wstring_view value)
{
    const EndpointLookup lookup = LookUpEndpoints(value);
    if (!lookup.problem.empty())
        return ShownText(lookup.problem);
    const auto server = lookup.named ? FirstConnectable(lookup.endpoints) : lookup.endpoints.front();
    if (!server)
        return "names " + Quoted(value) + ", whose addresses this machine has no route to";
    // 0.x.x.x is no host one can send to (an empty dialog field reads so).
    if (server->IsV4() && server->V4Address() >> 24 == 0)
        return "expects the server's own IPv4 address, not " + Quoted(value) + " (0.x.x.x reaches no server)";
    if (server->IsUnspecified())
        return "expects the server's own address, not " + Quoted(value) + " ([::] reaches no server)";
    // Sent to many hosts, or to none unless the system is told how: every
    // send would fail, or reach hosts that never asked.
    if (server->IsBroadcastOrMulticast())
        return std::string("expects one server's own ") + (server->IsV4() ? "IPv4" : "IPv6") + " address, not " + Quoted(value) +
               " (a broadcast or multicast address is no single server)";
    options.link.server = *server;
    options.serverText = CString(value);
    options.serverNamed = lookup.named;
    return std::nullopt;
}

Written WriteServer(const CliOptions& options)
{
    return options.serverText.IsEmpty() ? options.link.server.ToText().ToUtf8() : options.serverText.ToUtf8();
}

// The value as a reader took it, or else what the flag expects.
template <typename Target, typename Value>
OptionProblem Take(Target& target, const std::optional<Value>& read, std::string_view expected, std::wstring_view value)
{
    if (!read)
        return std::string(expected) + Quoted(value);
    target = *read;
    return std::nullopt;
}

// Written when it differs from the default.
Written Number(double value, double byDefault = 0)
{
    return value == byDefault ? Written() : NumberText(value);
}

OptionProblem ReadLoss(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.lossPercent, ParseDouble(value),
                "expects a loss rate in percent, a decimal number like 25 or 0.5, not ", value);
}

OptionProblem ReadDelay(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.delayMs, ParseInt32(value),
                "expects a delay in whole milliseconds (a 32-bit integer), not ", value);
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

OptionProblem ReadStats(CliOptions& options, std::wstring_view value)
{
    return Take(options.statsSeconds, ReadSeconds(value), kSecondsExpected, value);
}

OptionProblem ReadDuration(CliOptions& options, std::wstring_view value)
{
    return Take(options.durationSeconds, ReadSeconds(value), kSecondsExpected, value);
}

Written WriteSeconds(const std::optional<double>& seconds)
{
    return seconds ? Written(NumberText(*seconds)) : Written();
}

OptionProblem SetQuiet(CliOptions& options, std::wstring_view)
{
    options.quiet = true;
    return std::nullopt;
}

Written WriteSwitch(bool on) { return on ? Written("") : Written(); }

OptionProblem ReadCapture(CliOptions& options, std::wstring_view value)
{
    if (value.empty())
        return std::string("expects a file name, or - for standard output");
    options.capturePath = Utf8(value);
    return std::nullopt;
}

OptionProblem ReadScenarioPath(CliOptions& options, std::wstring_view value)
{
    if (value.empty())
        return std::string("expects a scenario file's name");
    options.scenarioPath = Utf8(value);
    return std::nullopt;
}

OptionProblem ReadCaptureLimit(CliOptions& options, std::wstring_view value)
{
    const auto megabytes = ParseDouble(value);
    if (!megabytes || !(*megabytes >= 0.001 && *megabytes <= 1e9))
        return "expects a size in MB (10^6 bytes) from 0.001 to 1000000000, like 10 or 0.5, not " + Quoted(value);
    options.captureLimitMb = megabytes;
    return std::nullopt;
}

OptionProblem ReadLogFormat(CliOptions& options, std::wstring_view value)
{
    if (value != L"plain" && value != L"json")
        return "expects plain or json, not " + Quoted(value);
    options.jsonLog = value == L"json";
    return std::nullopt;
}

// The link engine's options. Each reader takes the value's form; the
// ranges and the rules between options are ValidateLinkOptions's.

constexpr std::string_view kPercentExpected = "expects a percentage from 0 to 100, a decimal number like 5 or 0.5, not ";

OptionProblem SetPipeline(CliOptions& options, std::wstring_view)
{
    options.link.pipeline = true;
    return std::nullopt;
}

OptionProblem ReadJitter(CliOptions& options, std::wstring_view value)
{
    options.link.pipeline = true;  // --jitter 0 too: each datagram waits on its own
    return Take(options.link.jitterMs, ParseDouble(value),
                "expects a jitter in milliseconds, a number like 5 or 0.5, not ", value);
}

OptionProblem SetKeepOrder(CliOptions& options, std::wstring_view)
{
    options.link.keepOrder = true;
    return std::nullopt;
}

OptionProblem ReadRandomLoss(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.randomLossPercent, ParseDouble(value), kPercentExpected, value);
}

OptionProblem ReadBurstLoss(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.burstLoss, ParseBurstLoss(Utf8(value)),
                "expects two percentages P,R (the chance to enter a loss burst, the chance to leave it), like 5,50, "
                "not ",
                value);
}

Written WriteBurstLoss(const CliOptions& options)
{
    const auto& burst = options.link.burstLoss;
    return burst ? Written(NumberText(burst->enterPercent) + "," + NumberText(burst->leavePercent)) : Written();
}

OptionProblem ReadDirection(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.direction, ParseLinkDirection(Utf8(value)), "expects to-server, to-client or both, not ",
                value);
}

Written WriteDirection(const CliOptions& options)
{
    const LinkDirection direction = options.link.direction;
    return direction == LinkSettings{}.direction ? Written() : Written(DirectionName(direction));
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

OptionProblem ReadSeed(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.seed, ParseSeed(value), "expects a whole number from 0 to 18446744073709551615, not ",
                value);
}

Written WriteSeed(const CliOptions& options)
{
    return options.link.seed ? Written(std::to_string(*options.link.seed)) : Written();
}

// KBIT, or KBIT,KBIT: to-server's and to-client's.
OptionProblem ReadRate(CliOptions& options, std::wstring_view value)
{
    const auto comma = value.find(L',');
    const auto first = ParseDouble(value.substr(0, comma));
    const auto second = comma == std::wstring_view::npos ? first : ParseDouble(value.substr(comma + 1));
    if (!first || !second)
        return "expects kilobits per second, a number like 512 or 1.5 (at least 0.001), or two as "
               "to-server,to-client like 256,2000, not " + Quoted(value);
    options.link.rateKbit = *first;
    options.link.rateKbitToClient = *second;
    return std::nullopt;
}

Written WriteRate(const CliOptions& options)
{
    const auto& link = options.link;
    if (!link.rateKbit)
        return Written();
    if (!link.rateKbitToClient || *link.rateKbitToClient == *link.rateKbit)
        return NumberText(*link.rateKbit);
    return NumberText(*link.rateKbit) + "," + NumberText(*link.rateKbitToClient);
}

OptionProblem ReadRateTrace(CliOptions& options, std::wstring_view value)
{
    if (OptionProblem problem = LoadRateTraces(Utf8(value), options.link.rateTraces))
        return problem;
    options.link.rateTraceFiles = Utf8(value);
    return std::nullopt;
}

OptionProblem ReadDistribution(CliOptions& options, std::wstring_view value)
{
    return LoadDistribution(Utf8(value), options.link.distribution);
}

Written WriteDistribution(const CliOptions& options)
{
    const DelayShape& shape = options.link.distribution;
    return shape.Kind() == DelayShapeKind::Uniform ? Written() : Written(shape.Name());
}

OptionProblem ReadCorrupt(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.corruptPercent, ParseDouble(value), kPercentExpected, value);
}

// ParseCommandLine puts the options a profile stands for after it; the
// profile itself sets nothing and is not written back.
OptionProblem ReadProfile(CliOptions&, std::wstring_view) { return std::nullopt; }

OptionProblem ReadQueue(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.queueLimit, ParseInt32(value), "expects a whole number of datagrams, not ", value);
}

OptionProblem ReadDuplicate(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.duplicatePercent, ParseDouble(value), kPercentExpected, value);
}

OptionProblem ReadReorder(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.reorderPercent, ParseDouble(value), kPercentExpected, value);
}

OptionProblem ReadClients(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.clients, ParseClientsMode(Utf8(value)), "expects last or each, not ", value);
}

Written WriteClients(const CliOptions& options)
{
    return options.link.clients == ClientsMode::Each ? Written("each") : Written();
}

OptionProblem ReadSessionIdle(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.sessionIdleSeconds, ParseDouble(value), "expects a number of seconds, like 60 or 0.5 (at least 0.1), not ",
                value);
}

// ADDR[/BITS][,ADDR[/BITS]...], added to those given before.
OptionProblem ReadAllow(CliOptions& options, std::wstring_view value)
{
    AllowList& allow = options.link.allow;
    for (std::size_t start = 0;;) {
        const std::size_t comma = value.find(L',', start);
        const auto prefix = AddressPrefix::Parse(value.substr(start, comma - start));
        if (!prefix)
            return "expects ADDR/BITS, an IPv4 address and 0 to 32 prefix bits or an IPv6 address and 0 to 128 "
                   "(like 192.0.2.0/24 or 2001:db8::/32; an address alone is itself), not " + Quoted(value);
        allow.Add(*prefix);
        if (comma == std::wstring_view::npos)
            return std::nullopt;
        start = comma + 1;
    }
}

OptionProblem ReadSessionsPerAddress(CliOptions& options, std::wstring_view value)
{
    return Take(options.link.sessionsPerAddress, ParseInt32(value), "expects a whole number of sessions, not ", value);
}

// ADDR:PORT for the control API: a dotted IPv4 address and a port, 0 for one the system chooses.
OptionProblem ReadControl(CliOptions& options, std::wstring_view value)
{
    const size_t colon = value.rfind(L':');
    const auto host = colon == std::wstring_view::npos ? std::nullopt : ParseDottedIpv4(value.substr(0, colon));
    const auto number = host ? ParseInt32(value.substr(colon + 1)) : std::nullopt;
    if (!number || *number < 0 || *number > 65535)
        return "expects ADDR:PORT, a dotted IPv4 address and a port from 0 (any free one) to 65535, like "
               "127.0.0.1:8080, not " + Quoted(value);
    options.controlAddress = FormatIpv4(*host).ToUtf8();
    options.controlPort = static_cast<unsigned>(*number);
    return std::nullopt;
}

OptionProblem ReadControlToken(CliOptions& options, std::wstring_view value)
{
    if (value.empty())
        return std::string("expects a token of at least one character");
    options.controlToken = Utf8(value);
    return std::nullopt;
}

constexpr std::array kOptions{
    OptionRule{.flag = "--listen", .valueName = "ADDR:PORT", .form = ValueForm::Word, .required = true,
               .help = "where clients send (1.2.3.4:P, [::1]:P or a name: each address)", .read = ReadListen,
               .write = WriteListen},
    OptionRule{.flag = "--server", .valueName = "ADDR:PORT", .form = ValueForm::Word, .required = true,
               .help = "where the server listens (a name: its first address)", .read = ReadServer,
               .write = WriteServer},
    OptionRule{.flag = "--loss", .valueName = "PERCENT", .form = ValueForm::Number,
               .help = "drop 1 client datagram in trunc(100/PERCENT) (default 0)", .read = ReadLoss,
               .write = [](const CliOptions& o) { return Number(o.link.lossPercent); },
               .switchOff = [](LinkSettings& s) { s.lossPercent = 0; }, .time = OptionTime::Live},
    OptionRule{.flag = "--delay", .valueName = "MS", .form = ValueForm::Number,
               .help = "pause before each client datagram, in ms (default 0)", .read = ReadDelay,
               .write = [](const CliOptions& o) { return Number(o.link.delayMs); },
               .switchOff = [](LinkSettings& s) { s.delayMs = 0; }, .time = OptionTime::Live},
    OptionRule{.flag = "--quiet", .help = "no line per datagram (settings lines remain)", .read = SetQuiet,
               .write = [](const CliOptions& o) { return WriteSwitch(o.quiet); }},
    OptionRule{.flag = "--stats", .valueName = "SECONDS", .form = ValueForm::Number,
               .help = "a JSON line of counters on stderr every SECONDS", .read = ReadStats,
               .write = [](const CliOptions& o) { return WriteSeconds(o.statsSeconds); }},
    OptionRule{.flag = "--duration", .valueName = "SECONDS", .form = ValueForm::Number, .help = "end after SECONDS",
               .read = ReadDuration, .write = [](const CliOptions& o) { return WriteSeconds(o.durationSeconds); }},
    OptionRule{.flag = "--allow", .valueName = "ADDR/BITS", .form = ValueForm::Word,
               .help = "take clients only from these addresses, repeatable (default everyone)", .read = ReadAllow,
               .write = [](const CliOptions& o) {
                   return o.link.allow.LetsEveryoneIn() ? Written() : Written(o.link.allow.ToText());
               },
               .repeatable = true},
    OptionRule{.flag = "--capture", .valueName = "FILE", .form = ValueForm::Word,
               .help = "each datagram and its fate into a pcapng FILE (- : stdout)", .read = ReadCapture,
               .write = [](const CliOptions& o) { return o.capturePath ? Written(*o.capturePath) : Written(); }},
    OptionRule{.flag = "--capture-limit", .valueName = "MB", .form = ValueForm::Number,
               .help = "the capture ends when the file reaches MB (10^6 bytes)", .read = ReadCaptureLimit,
               .write = [](const CliOptions& o) {
                   return o.captureLimitMb ? Written(NumberText(*o.captureLimitMb)) : Written();
               }},
    OptionRule{.flag = "--control", .valueName = "ADDR:PORT", .form = ValueForm::Word,
               .help = "serve the HTTP control API there (loopback unless a token is set)", .read = ReadControl,
               .write = [](const CliOptions& o) {
                   return o.controlAddress ? Written(*o.controlAddress + ":" + std::to_string(o.controlPort))
                                           : Written();
               }},
    // The token is never written back (show, GET /settings): it stays with who gave it.
    OptionRule{.flag = "--control-token", .valueName = "TOKEN", .form = ValueForm::Word,
               .help = "every control request needs 'Authorization: Bearer TOKEN'", .read = ReadControlToken,
               .write = [](const CliOptions&) { return Written(); }},
    OptionRule{.flag = "--scenario", .valueName = "FILE", .form = ValueForm::Word,
               .help = "change the link over time: FILE's commands, each at its time", .read = ReadScenarioPath,
               .write = [](const CliOptions& o) { return o.scenarioPath ? Written(*o.scenarioPath) : Written(); }},
    OptionRule{.flag = "--log-format", .valueName = "plain|json", .form = ValueForm::Word,
               .help = "json: each line on stdout a JSON object (default plain)", .read = ReadLogFormat,
               .write = [](const CliOptions& o) { return o.jsonLog ? Written("json") : Written(); }},
    OptionRule{.flag = "--pipeline", .help = "each datagram waits --delay from its own arrival", .read = SetPipeline,
               .write = [](const CliOptions& o) { return WriteSwitch(o.link.pipeline); },
               .switchOff = [](LinkSettings& s) { s.pipeline = false; }, .group = OptionGroup::Link,
               .time = OptionTime::Live},
    OptionRule{.flag = "--profile", .valueName = "NAME", .form = ValueForm::Word,
               .help = "a named link (--profile help lists them); later options override it", .read = ReadProfile,
               .write = [](const CliOptions&) { return Written(); }, .group = OptionGroup::Link},
    OptionRule{.flag = "--jitter", .valueName = "MS", .form = ValueForm::Number,
               .help = "each delay +/- up to MS, uniform (implies --pipeline)", .read = ReadJitter,
               .write = [](const CliOptions& o) { return Number(o.link.jitterMs); },
               .switchOff = [](LinkSettings& s) { s.jitterMs = 0; }, .group = OptionGroup::Link,
               .time = OptionTime::Live},
    OptionRule{.flag = "--distribution", .valueName = "uniform|normal|pareto|paretonormal|FILE", .form = ValueForm::Word,
               .help = "the jitter's shape: mean --delay, standard deviation --jitter (uniform: +/- jitter)",
               .read = ReadDistribution, .write = WriteDistribution,
               .switchOff = [](LinkSettings& s) { s.distribution = DelayShape(); }, .group = OptionGroup::Link,
               .time = OptionTime::Live},
    OptionRule{.flag = "--keep-order", .help = "never leave before one that arrived earlier", .read = SetKeepOrder,
               .write = [](const CliOptions& o) { return WriteSwitch(o.link.keepOrder); },
               .switchOff = [](LinkSettings& s) { s.keepOrder = false; }, .group = OptionGroup::Link,
               .time = OptionTime::Live},
    OptionRule{.flag = "--random-loss", .valueName = "PERCENT", .form = ValueForm::Number,
               .help = "drop each datagram with this chance", .read = ReadRandomLoss,
               .write = [](const CliOptions& o) { return Number(o.link.randomLossPercent); },
               .switchOff = [](LinkSettings& s) { s.randomLossPercent = 0; }, .group = OptionGroup::Link,
               .time = OptionTime::Live},
    OptionRule{.flag = "--burst-loss", .valueName = "P,R", .form = ValueForm::Word,
               .help = "P % chance to enter a loss burst, R % to leave it", .read = ReadBurstLoss,
               .write = WriteBurstLoss, .switchOff = [](LinkSettings& s) { s.burstLoss.reset(); },
               .group = OptionGroup::Link, .time = OptionTime::Live},
    OptionRule{.flag = "--direction", .valueName = "to-server|to-client|both", .form = ValueForm::Word,
               .help = "where the rules apply (default to-server)", .read = ReadDirection, .write = WriteDirection,
               .switchOff = [](LinkSettings& s) { s.direction = LinkSettings{}.direction; }, .group = OptionGroup::Link, .time = OptionTime::Live},
    OptionRule{.flag = "--seed", .valueName = "N", .form = ValueForm::Number,
               .help = "seed of all random choices (else one chosen, on stderr)", .read = ReadSeed,
               .write = WriteSeed, .group = OptionGroup::Link},
    OptionRule{.flag = "--rate", .valueName = "KBIT[,KBIT]", .form = ValueForm::Number,
               .help = "at most KBIT kilobits a second (to-server,to-client); datagrams queue", .read = ReadRate,
               .write = WriteRate,
               .switchOff = [](LinkSettings& s) {
                   s.rateKbit.reset();
                   s.rateKbitToClient.reset();
               },
               .group = OptionGroup::Link, .time = OptionTime::Live},
    OptionRule{.flag = "--rate-trace", .valueName = "FILE[,FILE]", .form = ValueForm::Word,
               .help = "the rate of a recorded trace of 1500-byte opportunities (to-server,to-client)",
               .read = ReadRateTrace,
               .write = [](const CliOptions& o) {
                   return o.link.rateTraceFiles.empty() ? Written() : Written(o.link.rateTraceFiles);
               },
               .group = OptionGroup::Link},
    OptionRule{.flag = "--queue", .valueName = "N", .form = ValueForm::Number,
               .help = "with --rate or --rate-trace: at most N datagrams queue (default 1000)", .read = ReadQueue,
               .write = [](const CliOptions& o) { return Number(o.link.queueLimit, LinkSettings{}.queueLimit); },
               .switchOff = [](LinkSettings& s) { s.queueLimit = LinkSettings{}.queueLimit; }, .group = OptionGroup::Link, .time = OptionTime::Live},
    OptionRule{.flag = "--duplicate", .valueName = "PERCENT", .form = ValueForm::Number,
               .help = "send this share of datagrams twice", .read = ReadDuplicate,
               .write = [](const CliOptions& o) { return Number(o.link.duplicatePercent); },
               .switchOff = [](LinkSettings& s) { s.duplicatePercent = 0; }, .group = OptionGroup::Link,
               .time = OptionTime::Live},
    OptionRule{.flag = "--reorder", .valueName = "PERCENT", .form = ValueForm::Number,
               .help = "this share skips its delay (needs --delay)", .read = ReadReorder,
               .write = [](const CliOptions& o) { return Number(o.link.reorderPercent); },
               .switchOff = [](LinkSettings& s) { s.reorderPercent = 0; }, .group = OptionGroup::Link,
               .time = OptionTime::Live},
    OptionRule{.flag = "--corrupt", .valueName = "PERCENT", .form = ValueForm::Number,
               .help = "flip one random bit of this share of datagrams", .read = ReadCorrupt,
               .write = [](const CliOptions& o) { return Number(o.link.corruptPercent); },
               .switchOff = [](LinkSettings& s) { s.corruptPercent = 0; }, .group = OptionGroup::Link,
               .time = OptionTime::Live},
    OptionRule{.flag = "--clients", .valueName = "last|each", .form = ValueForm::Word,
               .help = "replies to the last client (default), or a session each", .read = ReadClients,
               .write = WriteClients, .group = OptionGroup::Link},
    OptionRule{.flag = "--session-idle", .valueName = "SECONDS", .form = ValueForm::Number,
               .help = "a session closes after SECONDS idle (default 60)", .read = ReadSessionIdle,
               .write = [](const CliOptions& o) { return Number(o.link.sessionIdleSeconds, LinkOptions{}.sessionIdleSeconds); },
               .group = OptionGroup::Link},
    OptionRule{.flag = "--sessions-per-address", .valueName = "N", .form = ValueForm::Number,
               .help = "with --clients each, sessions one client address may hold (default 1024)",
               .read = ReadSessionsPerAddress,
               .write = [](const CliOptions& o) {
                   return Number(o.link.sessionsPerAddress, LinkOptions{}.sessionsPerAddress);
               },
               .group = OptionGroup::Link},
};

}  // namespace

std::span<const OptionRule> OptionTable() { return kOptions; }

const OptionRule* FindOption(std::string_view flag)
{
    for (const OptionRule& rule : kOptions)
        if (rule.flag == flag)
            return &rule;
    return nullptr;
}

const OptionRule* FindOptionByKey(std::string_view key)
{
    for (const OptionRule& rule : kOptions)
        if (rule.flag.substr(2) == key)
            return &rule;
    return nullptr;
}

OptionProblem CheckTogether(const LinkOptions& link, const std::function<bool(std::string_view flag)>& given)
{
    if (OptionProblem problem = ValidateLinkOptions(link))
        return problem;
    // An option that would change nothing is more likely a mistake than a wish.
    if (given("--queue") && !link.rateKbit && !link.rateTraces[0])
        return std::string("--queue bounds the queue of a rate-limited link: it needs --rate or --rate-trace");
    if (given("--distribution") && link.distribution.Kind() != DelayShapeKind::Uniform && !(link.jitterMs > 0))
        return std::string("--distribution shapes the jitter: it needs --jitter");
    if (given("--session-idle") && link.clients != ClientsMode::Each)
        return std::string("--session-idle applies to the sessions of --clients each");
    if (given("--sessions-per-address") && link.clients != ClientsMode::Each)
        return std::string("--sessions-per-address applies to the sessions of --clients each");
    return std::nullopt;
}

std::string NumberText(double value)
{
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}
