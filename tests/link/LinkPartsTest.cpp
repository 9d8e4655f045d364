// The engine's smaller parts: option checks with their messages, storage
// sized to each datagram, the departure order, and the session order.

#include <gtest/gtest.h>

#include "link/DatagramStore.h"
#include "link/DepartureQueue.h"
#include "link/LinkOptions.h"
#include "link/SessionTable.h"

using namespace std::chrono_literals;

namespace {

std::string Problem(const LinkOptions& options) { return ValidateLinkOptions(options).value_or("fine"); }

template <typename Change>
std::string ProblemWith(Change change)
{
    LinkOptions options;
    change(options);
    return Problem(options);
}

// A datagram that leaves at `departure`, told apart by its length.
void PushTagged(DepartureQueue& queue, LinkTime departure, std::uint32_t tag)
{
    WaitingDatagram waiting;
    waiting.departure = departure;
    waiting.length = tag;
    queue.Push(std::move(waiting));
}

}  // namespace

TEST(LinkOptionChecks, NameTheFlagOfEachBadValue)
{
    EXPECT_EQ(Problem(LinkOptions{}), "fine");
    EXPECT_EQ(ProblemWith([](auto& o) { o.randomLossPercent = 101; }), "--random-loss must be a percentage from 0 to 100");
    EXPECT_EQ(ProblemWith([](auto& o) { o.randomLossPercent = -1; }), "--random-loss must be a percentage from 0 to 100");
    EXPECT_EQ(ProblemWith([](auto& o) { o.burstLoss = BurstLoss{5, 120}; }),
              "--burst-loss needs two percentages from 0 to 100, as P,R");
    EXPECT_EQ(ProblemWith([](auto& o) { o.jitterMs = -1; }), "--jitter must not be negative");
    EXPECT_EQ(ProblemWith([](auto& o) { o.rateKbit = 0; }), "--rate must be at least 0.001 kbit/s");
    EXPECT_EQ(ProblemWith([](auto& o) { o.rateKbit = -5; }), "--rate must be at least 0.001 kbit/s");
    EXPECT_EQ(ProblemWith([](auto& o) { o.queueLimit = 0; }), "--queue must be at least 1");
    EXPECT_EQ(ProblemWith([](auto& o) { o.duplicatePercent = 100.5; }), "--duplicate must be a percentage from 0 to 100");
    EXPECT_EQ(ProblemWith([](auto& o) { o.reorderPercent = 10; }), "--reorder needs a delay (--delay)");
    EXPECT_EQ(ProblemWith([](auto& o) { o.reorderPercent = 10; o.delayMs = 5; }), "fine");
    EXPECT_EQ(ProblemWith([](auto& o) { o.sessionIdleSeconds = 0; }),
              "--session-idle must be at least 0.1 seconds (and at most a year)");
}

TEST(LinkOptionChecks, ReadTheWordAndPairValues)
{
    EXPECT_EQ(ParseLinkDirection("both"), LinkDirection::Both);
    EXPECT_EQ(ParseLinkDirection("to-client"), LinkDirection::ToClient);
    EXPECT_FALSE(ParseLinkDirection("sideways"));
    EXPECT_EQ(ParseClientsMode("each"), ClientsMode::Each);
    EXPECT_FALSE(ParseClientsMode("all"));
    const auto burst = ParseBurstLoss("2.5,30");
    ASSERT_TRUE(burst);
    EXPECT_EQ(burst->enterPercent, 2.5);
    EXPECT_EQ(burst->leavePercent, 30);
    EXPECT_FALSE(ParseBurstLoss("5"));
    EXPECT_FALSE(ParseBurstLoss("5,"));
    EXPECT_FALSE(ParseBurstLoss(",5"));
    EXPECT_FALSE(ParseBurstLoss("a,b"));
}

TEST(DatagramStore, HoldsEachDatagramInAtMostTwiceItsSizeAndReusesBlocks)
{
    DatagramStore store;
    auto small = store.Take(0);
    EXPECT_EQ(small.capacity, 64u);
    auto typical = store.Take(64);
    EXPECT_EQ(typical.capacity, 64u);
    auto odd = store.Take(1001);
    EXPECT_EQ(odd.capacity, 1024u);
    auto largest = store.Take(65507);
    EXPECT_EQ(largest.capacity, 65536u);
    EXPECT_EQ(store.BytesInUse(), 64u + 64 + 1024 + 65536);
    const unsigned char* reused = odd.bytes.get();
    store.Give(std::move(odd));
    EXPECT_EQ(store.BytesKept(), 1024u);
    EXPECT_EQ(store.Take(900).bytes.get(), reused);
    // What is kept for reuse is bounded per size.
    std::vector<DatagramStore::Block> many;
    for (int i = 0; i < 40; ++i)
        many.push_back(store.Take(65536));
    for (auto& block : many)
        store.Give(std::move(block));
    EXPECT_LE(store.BytesKept(), DatagramStore::kKeptBytesPerSize + 1024);
    // Its cost counts each block's header too, and what is kept can go back.
    EXPECT_EQ(store.CostInUse(), store.BytesInUse() + 4 * DatagramStore::kBlockOverhead);
    EXPECT_EQ(DatagramStore::CostOf(1), 64 + DatagramStore::kBlockOverhead);
    store.ReleaseKept();
    EXPECT_EQ(store.BytesKept(), 0u);
}

TEST(DepartureQueue, LeavesByTimeAndInQueueingOrderAmongEqualTimes)
{
    DepartureQueue queue;
    const auto push = [&](LinkTime departure, std::uint32_t tag) { PushTagged(queue, departure, tag); };
    push(30ms, 1);
    push(10ms, 2);
    push(30ms, 3);
    push(10ms, 4);
    push(20ms, 5);
    std::vector<std::uint32_t> order;
    while (!queue.Empty())
        order.push_back(queue.Pop().length);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{2, 4, 5, 1, 3}));
}

TEST(SessionTable, IdleOrderSkipsSessionsWithDatagramsWaiting)
{
    SessionTable table;
    auto add = [&](std::uint16_t port, LinkTime now) -> Session& {
        auto session = std::make_unique<Session>();
        session->id = table.NextId();
        session->client = IpEndpoint::V4(0x7F000001, port);
        return table.Add(std::move(session), now);
    };
    Session& a = add(1, 0s);
    Session& b = add(2, 1s);
    Session& c = add(3, 2s);
    EXPECT_EQ(table.MakeRoomCandidate(), &a);
    EXPECT_EQ(table.NextExpiry(10s), 10s);
    table.Touch(a, 3s);
    EXPECT_EQ(table.MakeRoomCandidate(), &b);
    table.AddWaiting(b);  // a datagram of b waits: b cannot expire
    EXPECT_EQ(table.NextExpiry(10s), 12s);  // c's
    EXPECT_EQ(table.Expired(12s, 10s), &c);
    table.RemoveWaiting(b, 20s);
    EXPECT_EQ(table.Expired(12s, 10s), &c);
    table.Remove(c.id);
    EXPECT_EQ(table.Expired(13s, 10s), &a);
    EXPECT_EQ(table.FindClient(IpEndpoint::V4(0x7F000001, 2)), &b);
    EXPECT_EQ(table.FindClient(IpEndpoint::V4(0x7F000001, 3)), nullptr);
    EXPECT_EQ(table.Size(), 2u);
}

TEST(DepartureQueue, ReschedulesInSlicesEarliestFirstWithEveryRuleGivenMeanwhile)
{
    DepartureQueue queue;
    const auto push = [&](LinkTime departure, std::uint32_t tag) { PushTagged(queue, departure, tag); };
    for (std::uint32_t tag = 1; tag <= 6; ++tag)
        push(std::chrono::seconds(10 * tag), tag);  // 10 s .. 60 s
    auto capAt = [](LinkTime cap) {
        return [cap](WaitingDatagram& w) { w.departure = std::min(w.departure, cap); };
    };
    queue.BeginReschedule(capAt(35s));
    EXPECT_TRUE(queue.Empty());  // all set aside: nothing leaves before it is moved back
    EXPECT_EQ(queue.Size(), 6u);
    queue.RescheduleSome(2);     // the earliest two, 10 s and 20 s
    EXPECT_EQ(queue.Next().departure, 10s);
    push(1s, 7);                 // arrives meanwhile
    queue.BeginReschedule(capAt(25s));  // a second change before the first is done
    queue.RescheduleSome(100);
    EXPECT_FALSE(queue.Rescheduling());
    std::vector<std::pair<LinkTime, std::uint32_t>> left;
    while (!queue.Empty()) {
        const WaitingDatagram w = queue.Pop();
        left.emplace_back(w.departure, w.length);
    }
    // Both caps apply to all; equal times leave in queueing order.
    const std::vector<std::pair<LinkTime, std::uint32_t>> expected{
        {1s, 7}, {10s, 1}, {20s, 2}, {25s, 3}, {25s, 4}, {25s, 5}, {25s, 6}};
    EXPECT_EQ(left, expected);
}

TEST(SessionTable, MakesRoomFromSessionsNeverRepliedFirstAndCountsEachAddress)
{
    SessionTable table;
    auto add = [&](std::uint32_t address, std::uint16_t port, LinkTime now) -> Session& {
        auto session = std::make_unique<Session>();
        session->id = table.NextId();
        session->client = IpEndpoint::V4(address, port);
        session->local = IpEndpoint::V4(0x7F000001, static_cast<std::uint16_t>(50000 + session->id));
        return table.Add(std::move(session), now);
    };
    Session& answered = add(0x7F000001, 1, 0s);
    Session& sending = add(0x7F000001, 4, 0s);  // sends on, its first replies still delayed
    Session& busySpray = add(0x7F000001, 2, 1s);
    Session& idleSpray = add(0x7F000002, 3, 2s);
    table.MarkReplied(answered);
    for (Session* busy : {&answered, &sending, &busySpray})
        table.AddWaiting(*busy);
    table.Touch(sending, 2s);
    // Whom to close, in turn: idle never replied, idle replied, never
    // replied and quiet longest, and only then the oldest, even in two-way use.
    EXPECT_EQ(table.MakeRoomCandidate(), &idleSpray);
    table.Remove(idleSpray.id);
    EXPECT_EQ(table.MakeRoomCandidate(), &busySpray);
    table.Remove(sending.id);
    table.RemoveWaiting(answered, 3s);  // idle now, and replied
    EXPECT_EQ(table.MakeRoomCandidate(), &answered);
    table.AddWaiting(answered);
    table.Remove(busySpray.id);
    EXPECT_EQ(table.MakeRoomCandidate(), &answered);
    EXPECT_EQ(table.CountAt(IpEndpoint::V4(0x7F000001, 9)), 1u);
    EXPECT_EQ(table.CountAt(IpEndpoint::V4(0x7F000002, 3)), 0u);
    EXPECT_TRUE(table.UsesPort(answered.local.Port()));
    EXPECT_FALSE(table.UsesPort(50002));
}
