// Scenario files: the mistakes they are refused for, when their steps fall
// due, and a run under a fake clock whose fates repeat exactly.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliLinkEngine.h"
#include "cli/LinkControl.h"
#include "cli/ScenarioPlayer.h"
#include "relay/DatagramObserver.h"
#include "tests/link/LinkTestSupport.h"
#include "tests/support/UdpPeer.h"

namespace {

using std::chrono::milliseconds;
using namespace std::chrono_literals;

CliOptions LinkRun()
{
    CliOptions options;
    options.linkEngine = true;
    options.link.pipeline = true;
    return options;
}

}  // namespace

TEST(ScenarioFile, MistakesNameTheFileTheLineAndWhatWasExpected)
{
    struct Case {
        const char* text;
        const char* error;  // how the message begins after "f.txt:"
        bool linkEngine = true;
    };
    const Case cases[] = {
        {"x set --delay 1", "1: expected a time like 0s, 1.5s, 250ms or +5s, then a command; got 'x'"},
        {"1 set --delay 1", "1: expected a time like"},
        {"1.2.3s up", "1: expected a time like"},
        {"-1s up", "1: expected a time like"},
        {"# first\n2s up\n1s down", "3: expected a time of at least 2s (the step before it)"},
        {"0s", "1: expected a command after the time"},
        {"0s jump", "1: unknown command 'jump'"},
        {"0s stats", "1: expected set, down, up or modify"},
        {"0s down sideways", "1: down: expected 'down [to-server|to-client|both] [SECONDS]'"},
        {"0s set --jitter abc", "1: set: --jitter expects a jitter in milliseconds"},
        {"0s set --seed 3", "1: set: --seed is fixed at start"},
        {"0s set --delay 300 over 0s", "1: expected a ramp's length after 'over'"},
        {"0s set --delay 300 over soon", "1: expected a ramp's length after 'over'"},
        {"0s set --keep-order over 1s", "1: expected a ramp of numeric settings"},
        {"0s set --rate 10,20 over 1s", "1: expected a ramp of numeric settings"},
        {"0s down over 1s", "1: expected 'over' after 'set' alone"},
        {"0s set --rate 100 over 1s", "1: a ramp starts from the value in force, and --rate has no single one"},
        // The check follows the settings down the file.
        {"0s set --rate 100\n1s set --rate off\n2s set --rate 50 over 1s", "3: a ramp starts from the value"},
        {"0s up\n1s down\nrepeat\n2s up", "4: expected nothing after 'repeat' (line 3)"},
        {"0s up\nrepeat", "2: expected 'repeat' after a step later than 0s"},
        {"# only a comment\n\n", "3: expected at least one step"},
        {"0s down", "1: down: the dialog's relay changes only by 'modify LOSS DELAY'", false},
    };
    for (const Case& c : cases) {
        CliOptions options = c.linkEngine ? LinkRun() : CliOptions{};
        const ScenarioParse parse = ReadScenario(c.text, "f.txt", options);
        EXPECT_FALSE(parse.scenario) << c.text;
        EXPECT_EQ(parse.error.rfind(std::string("f.txt:") + c.error, 0), 0u) << c.text << "\n -> " << parse.error;
    }
}

TEST(ScenarioTimeline, StepsRampsAndRepeatsFallDueInOrder)
{
    struct Due {
        double ms;
        int line;
        int part;
    };
    struct Case {
        const char* text;
        std::vector<Due> due;  // the first events, in order
    };
    const Case cases[] = {
        {"250ms up  # after a pause\r\n+1.5s down to-server 2\n\n1750ms modify 5 20\n3s up",
         {{250, 1, 0}, {1750, 2, 0}, {1750, 4, 0}, {3000, 5, 0}}},
        // A ramp of 250 ms moves in three parts of at most 100 ms, beside the next step.
        {"1s set --delay 300 over 250ms\n1.1s up",
         {{1000, 1, 0}, {1083.333333, 1, 1}, {1100, 2, 0}, {1166.666667, 1, 2}, {1250, 1, 3}}},
        // Starts over every 1 s, the time of the step before "repeat".
        {"0s up\n1s down\nrepeat", {{0, 1, 0}, {1000, 2, 0}, {1000, 1, 0}, {2000, 2, 0}, {2000, 1, 0}}},
    };
    const LinkTime start = std::chrono::seconds(7);
    for (const Case& c : cases) {
        const ScenarioParse parse = ReadScenario(c.text, "f.txt", LinkRun());
        ASSERT_TRUE(parse.scenario) << parse.error;
        ScenarioTimeline timeline(parse.scenario, start);
        for (const Due& due : c.due) {
            const auto next = timeline.NextTime();
            ASSERT_TRUE(next) << c.text;
            const double ms = std::chrono::duration<double, std::milli>(*next - start).count();
            EXPECT_NEAR(ms, due.ms, 1e-5) << c.text;
            EXPECT_FALSE(timeline.TakeDue(*next - std::chrono::nanoseconds(1))) << "early: " << c.text;
            const auto event = timeline.TakeDue(*next);
            ASSERT_TRUE(event);
            EXPECT_EQ(event->step->line, due.line) << c.text << " at " << due.ms;
            EXPECT_EQ(event->part, due.part) << c.text << " at " << due.ms;
        }
    }
}

// The player wakes ahead of a step the link engine times itself, and at
// the time of a modify, which the dialog's relay takes as it comes.
TEST(ScenarioPlayer, WakesAheadOfTimedStepsAndAtAModify)
{
    const std::pair<const char*, milliseconds> cases[] = {
        {"1s set --delay 5", 950ms}, {"1s down", 950ms}, {"1s up", 950ms}, {"1s modify 5 20", 1000ms},
        {"1s set --delay 5 over 1s", 950ms}, {"0s up", -50ms}};
    const LinkTime start = std::chrono::seconds(7);
    for (const auto& [text, wake] : cases) {
        const ScenarioParse parse = ReadScenario(text, "f.txt", LinkRun());
        ASSERT_TRUE(parse.scenario) << parse.error;
        const ScenarioPlayer player(parse.scenario, start);
        EXPECT_EQ(player.WakeTime(), start + wake) << text;
    }
}

namespace {

// Each datagram's fate, in the order the engine decided them.
class FateLog final : public DatagramObserver {
public:
    void OnDatagram(const DatagramEvent& event) override
    {
        if (event.step == DatagramStep::Arrived)
            return;
        std::lock_guard lock(m_mutex);
        m_fates.push_back(std::to_string(event.number) + ":" +
                          (event.step == DatagramStep::Left ? std::string("left") : std::string(event.cause)));
    }
    std::vector<std::string> Fates() const
    {
        std::lock_guard lock(m_mutex);
        return m_fates;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_fates;
};

// 80 datagrams 5 ms apart on a fake clock through a link the scenario
// changes; the fate of each.
std::vector<std::string> RunUnderFakeClock(const std::shared_ptr<const Scenario>& scenario, CliOptions options)
{
    UdpPeer server, client;
    FakeClock clock;
    options.link.server = IpEndpoint::V4(0x7F000001, static_cast<std::uint16_t>(server.Port()));
    CliLinkEngine engine(options.link, clock);
    FateLog fates;
    LineLog lines;
    std::string error;
    EXPECT_TRUE(engine.Open(error)) << error;
    engine.Observe(&fates);
    EXPECT_TRUE(engine.Start(lines, lines, error)) << error;
    LinkControl control(options, engine);
    ScenarioPlayer player(scenario, clock.Now());
    const LinkTime start = clock.Now();
    std::vector<std::string> problems;
    for (int i = 0; i < 80; ++i) {
        clock.Set(start + milliseconds(5 * i));
        player.Play(clock.Now(), control, [](const std::string&) {},
                    [&](const std::string& problem) { problems.push_back(problem); });
        client.SendText("datagram " + std::to_string(i), engine.ListenPort());
        EXPECT_TRUE(WaitUntil([&] { return fates.Fates().size() == static_cast<size_t>(i + 1); })) << i;
    }
    engine.Stop();
    EXPECT_TRUE(problems.empty()) << problems.front();
    return fates.Fates();
}

}  // namespace

TEST(ScenarioRun, ASeedAndTheSameArrivalsGiveTheSameFatesUnderAFakeClock)
{
    const char* text = "0s set --random-loss 50\n"
                       "100ms down to-server\n"
                       "+100ms up\n"
                       "250ms set --random-loss 0 over 100ms\n";
    CliOptions options = LinkRun();
    options.link.seed = 11;
    const ScenarioParse parse = ReadScenario(text, "f.txt", options);
    ASSERT_TRUE(parse.scenario) << parse.error;
    const std::vector<std::string> first = RunUnderFakeClock(parse.scenario, options);
    EXPECT_EQ(RunUnderFakeClock(parse.scenario, options), first);
    ASSERT_EQ(first.size(), 80u);
    int randomLosses = 0;
    for (int i = 0; i < 80; ++i) {
        const std::string number = std::to_string(i + 1) + ":";
        const int ms = 5 * i;
        // Steps go to the engine ahead of their time and apply at it.
        EXPECT_EQ(first[i] == number + "outage", ms >= 100 && ms < 200) << first[i];
        if (ms >= 350) {  // the ramp: 50 % until 300 ms, 25 % until 350 ms, then 0
            EXPECT_EQ(first[i], number + "left");
        }
        randomLosses += first[i] == number + "random-loss";
    }
    EXPECT_GT(randomLosses, 5);
}

// The examples in scenarios/: each reads, and one pass through it (and
// into its repeat) applies every step, on a fake clock that leaps from one
// step to the next.
TEST(ScenarioExamples, EachReadsAndRunsOnePass)
{
    int examples = 0;
    for (const auto& entry : std::filesystem::directory_iterator(DULVET_SOURCE_DIR "/scenarios")) {
        ++examples;
        const std::string name = entry.path().filename().string();
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const ScenarioParse parse = ReadScenario(text, name, LinkRun());
        ASSERT_TRUE(parse.scenario) << parse.error;

        UdpPeer server;
        FakeClock clock;
        CliOptions options = LinkRun();
        options.link.server = IpEndpoint::V4(0x7F000001, static_cast<std::uint16_t>(server.Port()));
        CliLinkEngine engine(options.link, clock);
        LineLog lines;
        std::string error;
        ASSERT_TRUE(engine.Open(error) && engine.Start(lines, lines, error)) << error;
        LinkControl control(options, engine);
        const LinkTime start = clock.Now();
        ScenarioPlayer player(parse.scenario, start);
        std::vector<std::string> said, problems;
        while (player.NextTime() && *player.NextTime() <= start + parse.scenario->Period()) {
            clock.Set(*player.NextTime());
            player.Play(clock.Now(), control, [&](const std::string& line) { said.push_back(line); },
                        [&](const std::string& line) { problems.push_back(line); });
        }
        engine.Stop();
        EXPECT_TRUE(problems.empty()) << name << ": " << problems.front();
        // That it started, every step once, and the first again as the repeat begins.
        EXPECT_EQ(said.size(), 1 + parse.scenario->steps.size() + (parse.scenario->repeat ? 1 : 0)) << name;
    }
    EXPECT_GE(examples, 3);
}
