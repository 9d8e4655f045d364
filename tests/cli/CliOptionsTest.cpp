// Reading the command line and the standard-input commands: what reads,
// and what each bad input is told.

#include <gtest/gtest.h>

#include "cli/CliOptionParser.h"
#include "cli/Command.h"
#include "cli/Profiles.h"
#include "tests/support/CStringPrinter.h"

namespace {

// The arguments, after a valid --listen and --server where they give none
// (unless told to leave them out).
CliParse Parse(const std::vector<std::string>& arguments, bool withEndpoints = true)
{
    std::vector<CString> texts;
    const auto gives = [&](const std::string& flag) {
        for (const std::string& argument : arguments)
            if (argument.rfind(flag, 0) == 0)
                return true;
        return false;
    };
    if (withEndpoints && !gives("--listen"))
        texts.insert(texts.end(), {L"--listen", L"127.0.0.1:5000"});
    if (withEndpoints && !gives("--server"))
        texts.insert(texts.end(), {L"--server", L"127.0.0.1:6000"});
    for (const std::string& argument : arguments)
        texts.push_back(CString::FromUtf8(argument));
    return ParseCommandLine(texts);
}

}  // namespace

TEST(CliOptions, ReadsEveryOptionInBothFormsWithTheDialogsSpecialValues)
{
    const CliParse parse = Parse({"--listen=0.0.0.0:65535", "--server", "10.0.0.1:1", "--loss", "-1e-300", "--delay",
                                  " -40 ", "--quiet", "--stats", "0.5", "--duration=3"},
                                 false);
    ASSERT_EQ(parse.outcome, CliParse::Outcome::Run) << parse.error;
    EXPECT_EQ(parse.options.link.listen, std::vector{IpEndpoint::V4(0, 65535)});
    EXPECT_EQ(parse.options.link.server, IpEndpoint::V4(0x0A000001, 1));
    EXPECT_EQ(parse.options.link.lossPercent, -1e-300);
    EXPECT_EQ(parse.options.link.delayMs, -40);
    EXPECT_TRUE(parse.options.quiet);
    EXPECT_EQ(parse.options.statsSeconds, 0.5);
    EXPECT_EQ(parse.options.durationSeconds, 3.0);

    const CliParse defaults = Parse({});
    ASSERT_EQ(defaults.outcome, CliParse::Outcome::Run);
    EXPECT_EQ(defaults.options.link.lossPercent, 0.0);
    EXPECT_EQ(defaults.options.link.delayMs, 0);
    EXPECT_FALSE(defaults.options.quiet || defaults.options.statsSeconds || defaults.options.durationSeconds);

    EXPECT_EQ(Parse({"--quiet", "--help"}).outcome, CliParse::Outcome::Help);
    EXPECT_EQ(Parse({"--version"}, false).outcome, CliParse::Outcome::Version);
}

TEST(CliOptions, RefusesBadInputNamingTheFlagAndWhatItExpects)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* error;  // how the message begins
    };
    const Case cases[] = {
        {{"--listen", "127.0.0.1"}, "--listen expects ADDR:PORT"},
        {{"--listen", "127.0.0.1:65536"}, "--listen expects ADDR:PORT"},
        {{"--listen", "127.0.0.1:-1"}, "--listen expects ADDR:PORT"},
        {{"--listen", "local host:5000"}, "--listen expects ADDR:PORT"},
        {{"--listen", "127.1:5000"}, "--listen expects ADDR:PORT"},       // inet_addr's short form
        {{"--listen", "127.0.0.01:5000"}, "--listen expects ADDR:PORT"},  // a second spelling
        {{"--server", "127.0.0.1:5x"}, "--server expects ADDR:PORT"},
        {{"--server", "0.1.2.3:6000"}, "--server expects the server's own IPv4 address, not '0.1.2.3:6000'"},
        {{"--loss", "nan"}, "--loss expects a loss rate in percent"},
        {{"--loss", "inf"}, "--loss expects a loss rate in percent"},
        {{"--loss", "1e400"}, "--loss expects a loss rate in percent"},
        {{"--loss", "25%"}, "--loss expects a loss rate in percent, a decimal number like 25 or 0.5, not '25%'"},
        {{"--loss", ""}, "--loss expects a loss rate in percent"},
        {{"--delay", "1e3"}, "--delay expects a delay in whole milliseconds"},
        {{"--delay", "5 0"}, "--delay expects a delay in whole milliseconds"},
        {{"--delay", "2147483648"}, "--delay expects a delay in whole milliseconds"},
        {{"--stats", "0"}, "--stats expects a number of seconds"},
        {{"--duration", "-1"}, "--duration expects a number of seconds"},
        {{"--quiet=yes"}, "--quiet takes no value"},
        {{"--loss"}, "--loss needs a value: --loss PERCENT"},
        {{"--loss", "1", "--loss", "2"}, "--loss is given twice"},
        {{"extra"}, "unexpected argument 'extra'"},
        {{"-h"}, "unexpected argument '-h'"},
        {{"--bogus=1"}, "unknown option '--bogus'"},
        {{"--allow", "10.0.0.0/33"}, "--allow expects ADDR/BITS"},
        {{"--allow", "10.0.0.0/8,"}, "--allow expects ADDR/BITS"},
        {{"--allow", "localhost"}, "--allow expects ADDR/BITS"},
        // A relay that would send to itself, and servers that are no single host.
        {{"--listen", "127.0.0.1:7000", "--server", "127.0.0.1:7000"}, "--server 127.0.0.1:7000 is the relay's own"},
        {{"--listen", "0.0.0.0:7000", "--server", "127.0.0.5:7000"}, "--server 127.0.0.5:7000 is the relay's own"},
        {{"--listen", "[::]:7000", "--server", "[::1]:7000", "--clients", "last"}, "--server [::1]:7000 is the relay's own"},
        {{"--listen", "[::]:7000", "--server", "127.0.0.1:7000"}, "--server 127.0.0.1:7000 is the relay's own"},
        {{"--server", "255.255.255.255:6000"}, "--server expects one server's own IPv4 address"},
        {{"--server", "224.0.0.1:6000"}, "--server expects one server's own IPv4 address"},
        {{"--server", "239.255.255.255:6000"}, "--server expects one server's own IPv4 address"},
        // What the user typed is shown with its control characters escaped.
        {{"--listen", "\x1b[2J:1"}, "--listen expects ADDR:PORT, a dotted IPv4 address, an IPv6 address in brackets "
                                     "or a host name, and a port from 1 to 65535 (like 127.0.0.1:5000, [::1]:5000 or "
                                     "localhost:5000), not '\\x1B[2J:1'"},
        {{"--\x07" "bell"}, "unknown option '--\\x07bell'"},
        {{"--loss", "\xc2\x9b" "31m"}, "--loss expects a loss rate in percent, a decimal number like 25 or 0.5, not "
                                        "'\\u009B31m'"},
    };
    for (const Case& c : cases) {
        const CliParse parse = Parse(c.arguments);
        EXPECT_EQ(parse.outcome, CliParse::Outcome::BadInput) << c.error;
        EXPECT_EQ(parse.error.rfind(c.error, 0), 0u) << parse.error;
    }
    EXPECT_EQ(Parse({"--server", "127.0.0.1:6000"}, false).error, "--listen ADDR:PORT is required");
    // At the floors, and the same port on another host, all read.
    EXPECT_EQ(Parse({"--rate", "0.001", "--clients", "each", "--session-idle", "0.1"}).outcome, CliParse::Outcome::Run);
    EXPECT_EQ(Parse({"--listen", "0.0.0.0:7000", "--server", "10.0.0.1:7000"}, false).outcome, CliParse::Outcome::Run);
}

TEST(CliOptions, AllowAddsUpOverRepeatsWithoutChoosingAnEngine)
{
    const CliParse parse = Parse({"--allow", "127.0.0.2,10.0.0.0/8", "--allow=2001:db8::/32", "--allow", "127.0.0.2"});
    ASSERT_EQ(parse.outcome, CliParse::Outcome::Run) << parse.error;
    EXPECT_EQ(parse.options.link.allow.ToText(), "127.0.0.2/32,10.0.0.0/8,2001:db8::/32");
    EXPECT_FALSE(parse.options.linkEngine);
}

// Every form of address text, both flags: what it reads as, or how its
// message begins. Names resolve through the machine's own hosts file only
// (localhost); names the resolver is asked about are tested in a private
// namespace (tests/cli/names).
TEST(CliAddresses, ReadEveryFormAndSayWhatIsWrongWithTheRest)
{
    struct Case {
        const char* flag;
        const char* text;
        const char* read;   // the first endpoint as text, or nullptr: refused
        const char* error;  // how the message begins, when refused
    };
    const Case cases[] = {
        {"--listen", "127.0.0.1:5000", "127.0.0.1:5000", nullptr},
        {"--listen", "[::1]:5000", "[::1]:5000", nullptr},
        {"--listen", "[::]:5000", "[::]:5000", nullptr},
        {"--listen", "[0:0::1]:5000", "[::1]:5000", nullptr},
        {"--listen", "[::ffff:127.0.0.1]:5000", "127.0.0.1:5000", nullptr},  // mapped: IPv4
        {"--listen", "localhost:5000", "127.0.0.1:5000", nullptr},
        {"--server", "[::1]:6000", "[::1]:6000", nullptr},
        {"--server", "localhost:6000", "127.0.0.1:6000", nullptr},
        {"--listen", "[::1]", nullptr, "--listen needs a port after the IPv6 address, like [::1]:5000, not '[::1]'"},
        {"--listen", "[::1]:", nullptr, "--listen expects ADDR:PORT"},
        {"--listen", "[::1]:0", nullptr, "--listen expects ADDR:PORT"},
        {"--listen", "[::1:5000", nullptr, "--listen expects ADDR:PORT"},
        {"--listen", "::1:5000", nullptr, "--listen takes an IPv6 address in brackets before its port"},
        {"--server", "::1", nullptr, "--server takes an IPv6 address in brackets before its port"},
        {"--listen", "[1::2::3]:5000", nullptr, "--listen expects an IPv6 address in the brackets"},
        {"--listen", "[127.0.0.1]:5000", nullptr, "--listen expects an IPv6 address in the brackets"},
        {"--listen", "[fe80::1%no-such-if0]:5000", nullptr,
         "--listen names the zone 'no-such-if0', which is no network interface of this machine"},
        {"--listen", "[fe80::1%]:5000", nullptr, "--listen names the zone ''"},
        {"--listen", "local_host!:5000", nullptr, "--listen expects ADDR:PORT"},
        {"--server", "[::]:6000", nullptr, "--server expects the server's own address, not '[::]:6000'"},
        {"--server", "[ff02::1]:6000", nullptr, "--server expects one server's own IPv6 address"},
    };
    for (const Case& c : cases) {
        const CliParse parse = Parse({c.flag, c.text, "--clients", "last"});
        if (!c.read) {
            EXPECT_EQ(parse.error.rfind(c.error, 0), 0u) << c.text << ": " << parse.error;
            continue;
        }
        ASSERT_EQ(parse.outcome, CliParse::Outcome::Run) << c.text << ": " << parse.error;
        const bool listen = std::string(c.flag) == "--listen";
        const IpEndpoint read = listen ? parse.options.link.listen.front() : parse.options.link.server;
        EXPECT_EQ(read.ToText().ToUtf8(), c.read) << c.text;
    }
#ifndef _WIN32
    // A zone by the interface's name, shown by it.
    const CliParse zoned = Parse({"--listen", "[fe80::1%lo]:5000", "--clients", "last"});
    ASSERT_EQ(zoned.outcome, CliParse::Outcome::Run) << zoned.error;
    EXPECT_EQ(zoned.options.link.listen.front().ToText().ToUtf8(), "[fe80::1%lo]:5000");
#endif
    // The dialog's relay too goes between the families.
    EXPECT_EQ(Parse({"--server", "[::1]:6000"}).outcome, CliParse::Outcome::Run);
    EXPECT_EQ(Parse({"--listen", "[::]:5000"}).outcome, CliParse::Outcome::Run);  // dual stack reaches IPv4
    EXPECT_EQ(Parse({"--server", "localhost:6000"}).options.serverNamed, true);
}

TEST(CliCommands, ReadModifyStatsAndQuitAndSayWhatABadLineShouldBe)
{
    const CommandParse modify = ParseCommand("  modify\t-10  -40 \r");
    ASSERT_TRUE(modify.command);
    EXPECT_EQ(modify.command->kind, Command::Kind::Modify);
    EXPECT_EQ(modify.command->lossPercent, -10.0);
    EXPECT_EQ(modify.command->delayMs, -40);
    EXPECT_EQ(ParseCommand("stats").command->kind, Command::Kind::Stats);
    EXPECT_EQ(ParseCommand("quit\r").command->kind, Command::Kind::Quit);
    for (const char* blank : {"", "   ", "\r"}) {
        EXPECT_FALSE(ParseCommand(blank).command);
        EXPECT_EQ(ParseCommand(blank).error, "");
    }

    for (const char* bad : {"modify", "modify 25", "modify x 1", "modify 25 1.5", "modify 25 100 7", "modify nan 1"}) {
        const CommandParse parse = ParseCommand(bad);
        EXPECT_FALSE(parse.command) << bad;
        EXPECT_EQ(parse.error.rfind("modify: expected 'modify LOSS DELAY' with LOSS", 0), 0u) << parse.error;
        EXPECT_NE(parse.error.find(std::string("; got '") + bad + "'"), std::string::npos) << parse.error;
    }
    EXPECT_EQ(ParseCommand("stats now").error, "stats: expected 'stats' alone; got 'stats now'");
    EXPECT_EQ(ParseCommand("Quit").error, "unknown command 'Quit': expected 'modify LOSS DELAY', 'set OPTION VALUE ...', 'show', 'down [to-server|to-client|both] [SECONDS]', 'up', 'stats' or 'quit'");
    EXPECT_EQ(ParseCommand("\x1b]0;owned\x07").error,
              "unknown command '\\x1B]0;owned\\x07': expected 'modify LOSS DELAY', 'set OPTION VALUE ...', 'show', 'down [to-server|to-client|both] [SECONDS]', 'up', 'stats' or 'quit'");
    EXPECT_EQ(ParseCommand("stats \x1b[2J").error, "stats: expected 'stats' alone; got 'stats \\x1B[2J'");
}

TEST(CliOptions, AnyLinkOptionRunsTheLinkEngineWithEveryValueAndTheDialogsOnes)
{
    const CliParse parse =
        Parse({"--loss", "25", "--delay", "100", "--jitter=0", "--keep-order", "--random-loss", "2.5", "--burst-loss",
               "5,50", "--direction", "both", "--seed", "18446744073709551615", "--rate", "1.5", "--queue", "7",
               "--duplicate", "1", "--reorder", "3", "--clients", "each", "--session-idle", "0.5"});
    ASSERT_EQ(parse.outcome, CliParse::Outcome::Run) << parse.error;
    ASSERT_TRUE(parse.options.linkEngine);
    const LinkOptions& link = parse.options.link;
    EXPECT_EQ(link.listen, std::vector{IpEndpoint::V4(0x7F000001, 5000)});
    EXPECT_EQ(link.server, IpEndpoint::V4(0x7F000001, 6000));
    EXPECT_EQ(link.lossPercent, 25.0);
    EXPECT_EQ(link.delayMs, 100);
    EXPECT_TRUE(link.pipeline);  // --jitter, even 0, waits each datagram on its own
    EXPECT_EQ(link.jitterMs, 0.0);
    EXPECT_TRUE(link.keepOrder);
    EXPECT_EQ(link.randomLossPercent, 2.5);
    ASSERT_TRUE(link.burstLoss);
    EXPECT_EQ(link.burstLoss->leavePercent, 50.0);
    EXPECT_EQ(link.direction, LinkDirection::Both);
    EXPECT_EQ(link.seed, 18446744073709551615ull);
    EXPECT_EQ(link.rateKbit, 1.5);
    EXPECT_EQ(link.queueLimit, 7);
    EXPECT_EQ(link.duplicatePercent, 1.0);
    EXPECT_EQ(link.reorderPercent, 3.0);
    EXPECT_EQ(link.clients, ClientsMode::Each);
    EXPECT_EQ(link.sessionIdleSeconds, 0.5);

    EXPECT_FALSE(Parse({"--loss", "25", "--delay", "100", "--quiet"}).options.linkEngine);
    const CliParse defaults = Parse({"--clients", "last"});
    ASSERT_TRUE(defaults.options.linkEngine);
    EXPECT_FALSE(defaults.options.link.seed || defaults.options.link.pipeline || defaults.options.link.rateKbit);
}

TEST(CliOptions, RefusesBadLinkOptionsNamingTheFlag)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* error;  // how the message begins
    };
    const Case cases[] = {
        {{"--random-loss", "101"}, "--random-loss must be a percentage from 0 to 100"},
        {{"--random-loss", "-1"}, "--random-loss must be a percentage from 0 to 100"},
        {{"--random-loss", "5%"}, "--random-loss expects a percentage from 0 to 100, a decimal number like 5 or 0.5, not '5%'"},
        {{"--duplicate", "nan"}, "--duplicate expects a percentage"},
        {{"--reorder", "100.5", "--delay", "5"}, "--reorder must be a percentage from 0 to 100"},
        {{"--reorder", "10"}, "--reorder needs a delay (--delay)"},
        {{"--burst-loss", "5"}, "--burst-loss expects two percentages P,R"},
        {{"--burst-loss", "5,"}, "--burst-loss expects two percentages P,R"},
        {{"--burst-loss", "5,120"}, "--burst-loss needs two percentages from 0 to 100, as P,R"},
        {{"--direction", "up"}, "--direction expects to-server, to-client or both, not 'up'"},
        {{"--jitter", "-1"}, "--jitter must not be negative"},
        {{"--jitter", "5ms"}, "--jitter expects a jitter in milliseconds"},
        {{"--rate", "0"}, "--rate must be at least 0.001 kbit/s"},
        {{"--rate", "-5"}, "--rate must be at least 0.001 kbit/s"},
        // Below the floors the arithmetic overflows, or no reply could come in time.
        {{"--rate", "1e-300"}, "--rate must be at least 0.001 kbit/s"},
        {{"--rate", "0.0009"}, "--rate must be at least 0.001 kbit/s"},
        {{"--clients", "each", "--session-idle", "1e-9"}, "--session-idle must be at least 0.1 seconds"},
        {{"--clients", "each", "--session-idle", "0.09"}, "--session-idle must be at least 0.1 seconds"},
        {{"--rate", "100", "--queue", "0"}, "--queue must be at least 1"},
        {{"--rate", "100", "--queue", "1.5"}, "--queue expects a whole number of datagrams"},
        {{"--queue", "10"}, "--queue bounds the queue of a rate-limited link: it needs --rate"},
        {{"--clients", "all"}, "--clients expects last or each, not 'all'"},
        {{"--clients", "each", "--session-idle", "0"}, "--session-idle must be at least 0.1 seconds"},
        {{"--session-idle", "5"}, "--session-idle applies to the sessions of --clients each"},
        {{"--sessions-per-address", "5"}, "--sessions-per-address applies to the sessions of --clients each"},
        {{"--clients", "each", "--sessions-per-address", "0"}, "--sessions-per-address must be from 1 to 4096"},
        {{"--clients", "each", "--sessions-per-address", "4097"}, "--sessions-per-address must be from 1 to 4096"},
        {{"--clients", "each", "--sessions-per-address", "two"}, "--sessions-per-address expects a whole number"},
        {{"--seed", "-1"}, "--seed expects a whole number from 0 to 18446744073709551615, not '-1'"},
        {{"--seed", "18446744073709551616"}, "--seed expects a whole number"},
        {{"--seed", "1e3"}, "--seed expects a whole number"},
        {{"--pipeline=yes"}, "--pipeline takes no value"},
        {{"--keep-order", "--keep-order"}, "--keep-order is given twice"},
        {{"--rate", "100,x"}, "--rate expects kilobits per second"},
        {{"--rate", "100,0"}, "--rate must be at least 0.001 kbit/s"},
        {{"--distribution", "normal"}, "--distribution shapes the jitter: it needs --jitter"},
        {{"--jitter", "5", "--distribution", "/no/such.dist"}, "--distribution expects uniform, normal, pareto, "
                                                                "paretonormal or a table file; cannot open '/no/such.dist'"},
        {{"--rate-trace", "/no/such.trace"}, "--rate-trace cannot open '/no/such.trace'"},
        {{"--rate-trace", DULVET_SOURCE_DIR "/data/traces/mobile.trace", "--rate", "5"},
         "--rate and --rate-trace cannot be used together"},
        {{"--corrupt", "101"}, "--corrupt must be a percentage from 0 to 100"},
        {{"--profile", "4g"}, "--profile expects dsl, cable, 3g, edge, lte, wifi-lossy, satellite, very-bad, or help, "
                              "not '4g'"},
        {{"--profile", "3g", "--profile", "3g"}, "--profile is given twice"},
        {{"--profile", "3g", "--delay", "5", "--delay", "6"}, "--delay is given twice"},
        {{"--profile"}, "--profile needs a value"},
    };
    for (const Case& c : cases) {
        const CliParse parse = Parse(c.arguments);
        EXPECT_EQ(parse.outcome, CliParse::Outcome::BadInput) << c.error;
        EXPECT_EQ(parse.error.rfind(c.error, 0), 0u) << parse.error;
    }
}

TEST(CliProfiles, EachStandsForItsOptionsAndLaterOptionsOverrideThem)
{
    for (const LinkProfile& profile : LinkProfiles()) {
        const CliParse parse = Parse({"--profile", std::string(profile.name)});
        ASSERT_EQ(parse.outcome, CliParse::Outcome::Run) << profile.name << ": " << parse.error;
        EXPECT_TRUE(parse.options.linkEngine);
        EXPECT_EQ(parse.options.profileLine, "profile " + std::string(profile.name) + ": " + std::string(profile.options));
        EXPECT_EQ(parse.options.link.direction, LinkDirection::Both) << profile.name;
    }
    const CliParse threeG = Parse({"--profile=3g"});
    const LinkOptions& link = threeG.options.link;
    EXPECT_EQ(link.delayMs, 100);
    EXPECT_EQ(link.jitterMs, 20.0);
    EXPECT_EQ(link.distribution.Kind(), DelayShapeKind::Normal);
    EXPECT_EQ(link.rateKbit, 330.0);
    EXPECT_EQ(link.rateKbitToClient, 780.0);

    const CliParse overridden = Parse({"--delay", "7", "--profile", "very-bad", "--random-loss", "1", "--rate", "64"});
    ASSERT_EQ(overridden.outcome, CliParse::Outcome::Run) << overridden.error;
    EXPECT_EQ(overridden.options.link.delayMs, 500);  // the profile comes after --delay 7
    EXPECT_EQ(overridden.options.link.randomLossPercent, 1.0);
    EXPECT_EQ(overridden.options.link.rateKbitToClient, 64.0);
    EXPECT_EQ(overridden.options.link.distribution.Kind(), DelayShapeKind::ParetoNormal);

    EXPECT_EQ(Parse({"--profile", "help"}, false).outcome, CliParse::Outcome::ProfileList);
    EXPECT_NE(ProfileListText().find("satellite"), std::string::npos);
}

TEST(CliOptions, ReadsTheRealLinkOptions)
{
    const CliParse parse = Parse({"--jitter", "5", "--distribution", DULVET_SOURCE_DIR "/data/distributions/pareto.dist",
                                  "--rate-trace", DULVET_SOURCE_DIR "/data/traces/steady-12mbit.trace," DULVET_SOURCE_DIR
                                  "/data/traces/mobile.trace", "--queue", "20", "--corrupt", "0.5"});
    ASSERT_EQ(parse.outcome, CliParse::Outcome::Run) << parse.error;
    const LinkOptions& link = parse.options.link;
    EXPECT_EQ(link.distribution.Kind(), DelayShapeKind::Table);
    ASSERT_TRUE(link.rateTraces[0] && link.rateTraces[1]);
    EXPECT_EQ(link.rateTraces[0]->Size(), 1000u);
    EXPECT_NE(link.rateTraces[1]->Size(), 1000u);
    EXPECT_EQ(link.corruptPercent, 0.5);
    const CliParse one = Parse({"--rate-trace", DULVET_SOURCE_DIR "/data/traces/steady-12mbit.trace"});
    EXPECT_EQ(one.options.link.rateTraces[0], one.options.link.rateTraces[1]);  // both ways
}

TEST(CliCommands, ReadSetShowDownAndUp)
{
    const CommandParse set = ParseCommand("set --jitter 20  --rate off");
    ASSERT_TRUE(set.command);
    EXPECT_EQ(set.command->words, (std::vector<std::string>{"--jitter", "20", "--rate", "off"}));
    struct Case {
        const char* line;
        bool reads;
        LinkDirection way;
        std::optional<double> seconds;
    };
    const Case cases[] = {
        {"down", true, LinkDirection::Both, std::nullopt},
        {"down to-client", true, LinkDirection::ToClient, std::nullopt},
        {"down to-server 2.5", true, LinkDirection::ToServer, 2.5},
        {"down 5", true, LinkDirection::Both, 5.0},
        {"down 0", false, {}, {}},
        {"down sideways", false, {}, {}},
        {"down both 5 5", false, {}, {}},
        {"down 5 both", false, {}, {}},
    };
    for (const Case& c : cases) {
        const CommandParse down = ParseCommand(c.line);
        ASSERT_EQ(down.command.has_value(), c.reads) << c.line;
        if (!c.reads) {
            EXPECT_EQ(down.error.rfind("down: expected 'down [to-server|to-client|both] [SECONDS]'", 0), 0u) << down.error;
            continue;
        }
        EXPECT_EQ(down.command->way, c.way) << c.line;
        EXPECT_EQ(down.command->seconds, c.seconds) << c.line;
    }
    EXPECT_EQ(ParseCommand("up").command->kind, Command::Kind::Up);
    EXPECT_EQ(ParseCommand("show").command->kind, Command::Kind::Show);
    EXPECT_EQ(ParseCommand("show all").error, "show: expected 'show' alone; got 'show all'");
}
