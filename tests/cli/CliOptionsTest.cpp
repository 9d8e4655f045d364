// Reading the command line and the standard-input commands: what reads,
// and what each bad input is told.

#include <gtest/gtest.h>

#include "CliOptionParser.h"
#include "Command.h"
#include "CStringPrinter.h"

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
    EXPECT_EQ(parse.options.listenAddress, CString(L"0.0.0.0"));
    EXPECT_EQ(parse.options.listenPort, 65535);
    EXPECT_EQ(parse.options.serverAddress, CString(L"10.0.0.1"));
    EXPECT_EQ(parse.options.serverPort, 1);
    EXPECT_EQ(parse.options.lossPercent, -1e-300);
    EXPECT_EQ(parse.options.delayMs, -40);
    EXPECT_TRUE(parse.options.quiet);
    EXPECT_EQ(parse.options.statsSeconds, 0.5);
    EXPECT_EQ(parse.options.durationSeconds, 3.0);

    const CliParse defaults = Parse({});
    ASSERT_EQ(defaults.outcome, CliParse::Outcome::Run);
    EXPECT_EQ(defaults.options.lossPercent, 0.0);
    EXPECT_EQ(defaults.options.delayMs, 0);
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
        {{"--listen", "localhost:5000"}, "--listen expects ADDR:PORT"},
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
    };
    for (const Case& c : cases) {
        const CliParse parse = Parse(c.arguments);
        EXPECT_EQ(parse.outcome, CliParse::Outcome::BadInput) << c.error;
        EXPECT_EQ(parse.error.rfind(c.error, 0), 0u) << parse.error;
    }
    EXPECT_EQ(Parse({"--server", "127.0.0.1:6000"}, false).error, "--listen ADDR:PORT is required");
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
    EXPECT_EQ(ParseCommand("Quit").error, "unknown command 'Quit': expected 'modify LOSS DELAY', 'stats' or 'quit'");
}
