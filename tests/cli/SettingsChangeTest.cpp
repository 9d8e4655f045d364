// `set` against the settings in force: what each input changes, what it
// refuses and how, the line naming what changed, and the command line
// `show` writes back.

#include <gtest/gtest.h>

#include <sstream>

#include "cli/CliOptionParser.h"
#include "cli/SettingsChange.h"

namespace {

std::vector<std::string> Words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

LinkOptions Running()
{
    LinkOptions link;
    link.delayMs = 100;
    link.pipeline = true;
    link.rateKbit = 512;
    link.queueLimit = 50;
    link.keepOrder = true;
    return link;
}

}  // namespace

TEST(SettingsChange, ChangesWhatItNamesOrNothingAndSaysWhy)
{
    using Outcome = SettingsChange::Outcome;
    struct Case {
        const char* words;
        Outcome outcome;
        const char* changedOrError;  // the changed options, or how the error begins
    };
    const Case cases[] = {
        {"--jitter 20 --random-loss 5", Outcome::Changed, "--jitter 20 --random-loss 5"},
        {"--jitter=0.5", Outcome::Changed, "--jitter 0.5"},
        {"--rate off --keep-order off", Outcome::Changed, "--keep-order off --rate off"},
        {"--keep-order=off --pipeline", Outcome::Changed, "--keep-order off"},
        {"--burst-loss 5,50 --direction both", Outcome::Changed, "--burst-loss 5,50 --direction both"},
        {"--delay off --queue off", Outcome::Changed, "--delay off --queue off"},
        {"--loss 25 --delay 100", Outcome::Changed, "--loss 25"},
        {"--delay 100", Outcome::Changed, ""},
        {"", Outcome::Bad, "expected an option and its value"},
        {"--jitter -1", Outcome::Bad, "--jitter must not be negative"},
        {"--jitter 20 --random-loss 101", Outcome::Bad, "--random-loss must be a percentage from 0 to 100"},
        {"--jitter 5ms", Outcome::Bad, "--jitter expects a jitter in milliseconds"},
        {"--jitter", Outcome::Bad, "--jitter needs a value: --jitter MS"},
        {"--pipeline yes", Outcome::Bad, "unexpected argument 'yes'"},
        {"--pipeline=yes", Outcome::Bad, "--pipeline takes no value but off"},
        {"--direction off --direction both", Outcome::Bad, "--direction is given twice"},
        {"--rate 0", Outcome::Bad, "--rate must be at least 0.001 kbit/s"},
        {"--rate off --queue 10", Outcome::Bad, "--queue bounds the queue of a rate-limited link: it needs --rate"},
        {"--reorder 5 --delay 0", Outcome::Bad, "--reorder needs a delay (--delay)"},
        {"--bogus 1", Outcome::Bad, "unknown option '--bogus'"},
        {"jitter 5", Outcome::Bad, "unexpected argument 'jitter'"},
        {"--\x1b[2J 1", Outcome::Bad, "unknown option '--\\x1B[2J'"},
        {"--jitter 5 --listen 127.0.0.1:7000", Outcome::Fixed, "--listen is fixed at start"},
        {"--seed 1", Outcome::Fixed, "--seed is fixed at start"},
        {"--quiet", Outcome::Fixed, "--quiet is fixed at start"},
        {"--clients each", Outcome::Fixed, "--clients is fixed at start"},
    };
    const LinkOptions running = Running();
    for (const Case& c : cases) {
        const SettingsChange change = ReadSettingsChange(Words(c.words), running);
        EXPECT_EQ(change.outcome, c.outcome) << c.words << ": " << change.error;
        if (change.outcome == Outcome::Changed)
            EXPECT_EQ(ChangedOptions(running, change.settings), c.changedOrError) << c.words;
        else
            EXPECT_EQ(change.error.rfind(c.changedOrError, 0), 0u) << c.words << ": " << change.error;
    }
}

TEST(SettingsChange, ShowWritesACommandLineThatStartsTheSameLink)
{
    const char* given[] = {"--listen", "127.0.0.1:5000", "--server", "127.0.0.1:6000", "--delay", "100",
                           "--jitter", "2.5", "--burst-loss", "5,50", "--rate", "1.5", "--queue", "7",
                           "--seed", "42", "--clients", "each", "--session-idle", "0.5", "--stats", "1", "--quiet"};
    std::vector<CString> arguments;
    for (const char* argument : given)
        arguments.push_back(CString::FromUtf8(argument));
    const CliParse parse = ParseCommandLine(arguments);
    ASSERT_EQ(parse.outcome, CliParse::Outcome::Run) << parse.error;
    const std::string line = CommandLineOf(parse.options);
    EXPECT_EQ(line, "dulvet --listen 127.0.0.1:5000 --server 127.0.0.1:6000 --delay 100 --quiet --stats 1 --pipeline "
                    "--jitter 2.5 --burst-loss 5,50 --seed 42 --rate 1.5 --queue 7 --clients each --session-idle 0.5");

    std::vector<CString> again;
    for (const std::string& word : Words(line.substr(line.find(' ') + 1)))
        again.push_back(CString::FromUtf8(word));
    const CliParse reread = ParseCommandLine(again);
    ASSERT_EQ(reread.outcome, CliParse::Outcome::Run) << reread.error;
    EXPECT_EQ(CommandLineOf(reread.options), line);
    EXPECT_TRUE(reread.options.link.Settings() == parse.options.link.Settings());
}
