// A link that follows a recorded trace: exact departures on a fake clock,
// sharing and spanning opportunities, repetition, the queue, and the file.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "link/Impairment.h"
#include "link/RateTrace.h"
#include "tests/link/LinkTimes.h"

namespace {


// Opportunities at 1, 1, 3 and 10 ms, then again 10 ms later, and so on.
LinkSettings Traced(std::vector<std::int64_t> ms = {1, 1, 3, 10}, std::int32_t queue = 1000)
{
    LinkSettings settings;
    const auto trace = std::make_shared<const RateTrace>(std::move(ms));
    settings.rateTraces = {trace, trace};
    settings.queueLimit = queue;
    return settings;
}

}  // namespace

TEST(RateTrace, DatagramsLeaveAtTheOpportunityThatCarriesTheirLastByte)
{
    Impairment link(Traced(), 7, Direction::ToServer);
    const LinkTime origin{1234567};  // the trace's time 0, to the nanosecond
    link.StartTraceAt(origin);
    const struct {
        LinkTime arrival;
        std::size_t size;
        LinkTime departure;
    } steps[] = {
        {Ms(0), 1000, Ms(1)},     // the first opportunity, 500 bytes left
        {Us(500), 400, Ms(1)},    // shares it, 100 left
        {Us(500), 3000, Ms(3)},   // 100 + 1500 (the second at 1 ms) + 1400 of the third
        {Ms(5), 200, Ms(10)},     // the third has passed: the fourth
        {Ms(10), 1300, Ms(10)},   // arrives as it comes: shares it, nothing left
        {Ms(10), 0, Ms(11)},      // even an empty one needs an opportunity
        {Us(25500), 10, Ms(30)},  // the link went idle: the next after 25.5 ms, two repetitions on
    };
    for (const auto& step : steps)
        EXPECT_EQ(link.Decide(origin + step.arrival, step.size).departure, origin + step.departure)
            << step.arrival.count();
}

TEST(RateTrace, AFullQueueDropsTheNewcomerAndDelayComesOnTop)
{
    Impairment link(Traced({1, 1, 3, 10}, 2), 7, Direction::ToServer);
    EXPECT_EQ(link.Decide(Ms(0), 1500).departure, Ms(1));
    EXPECT_EQ(link.Decide(Ms(0), 1500).departure, Ms(1));
    EXPECT_EQ(link.Decide(Ms(0), 1500).drop, DropCause::QueueFull);
    EXPECT_EQ(link.Decide(Ms(1), 1500).departure, Ms(3));  // both have left

    LinkSettings delayed = Traced();
    delayed.pipeline = true;
    Impairment later(delayed, 7, Direction::ToServer);
    later.SetLossAndDelay(0, 50);
    EXPECT_EQ(later.Decide(Ms(2), 100).departure, Ms(53));
}

TEST(RateTrace, EachDirectionFollowsItsOwnTrace)
{
    LinkSettings settings;
    settings.rateTraces = {std::make_shared<const RateTrace>(std::vector<std::int64_t>{4}),
                           std::make_shared<const RateTrace>(std::vector<std::int64_t>{7})};
    Impairment toServer(settings, 7, Direction::ToServer), toClient(settings, 7, Direction::ToClient);
    EXPECT_EQ(toServer.Decide(Ms(0), 10).departure, Ms(4));
    EXPECT_EQ(toClient.Decide(Ms(0), 10).departure, Ms(7));
    EXPECT_DOUBLE_EQ(RateTrace({0, 1, 2, 4}).BytesPerSecond(), 4 * 1500 / 0.004);
}

TEST(RateTrace, ATraceFileSaysWhichLineIsWrong)
{
    const struct {
        const char* text;
        const char* problem;
    } cases[] = {
        {"1\n1\n 3 \r\n# comment\n10\n", ""},
        {"1\n2.5\n", "line 2: expected a time in whole milliseconds (0 to a year), not '2.5'"},
        {"5\n4\n", "line 2: the time stamps must not decrease"},
        {"-1\n", "line 1: expected a time in whole milliseconds (0 to a year), not '-1'"},
        {"0\n0\n", "the trace's last time stamp must be more than 0 (it is the trace's length)"},
        {"\n", "the trace has no time stamps"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadRateTrace(c.text).problem, c.problem) << c.text;
    EXPECT_EQ(ReadRateTrace("1\n1\n3\n10").milliseconds, (std::vector<std::int64_t>{1, 1, 3, 10}));
}
