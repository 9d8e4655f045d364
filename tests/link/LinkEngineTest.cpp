// The link engine's event loop over real sockets on 127.0.0.1: both
// directions, stopping and Modify during a delay, opening failures.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <utility>

#include "link/LinkEngine.h"
#include "link/LinkLines.h"
#include "tests/link/LinkTestSupport.h"
#include "tests/support/UdpPeer.h"

using namespace std::chrono_literals;

namespace {

class LinkEngineTest : public ::testing::Test {
protected:
    LinkOptions Options() const
    {
        LinkOptions options;
        options.server = IpEndpoint::V4(0x7F000001, static_cast<std::uint16_t>(m_server.Port()));
        options.seed = 1;
        return options;
    }

    std::unique_ptr<LinkEngine> Run(const LinkOptions& options)
    {
        auto engine = std::make_unique<LinkEngine>(options, m_log, m_clock);
        EXPECT_TRUE(engine->Open()) << engine->LastError();
        EXPECT_TRUE(engine->Start());
        return engine;
    }

    std::uint64_t Stat(const LinkEngine& engine, Direction direction, DirectionCounter c) const
    {
        return engine.Stats().Of(direction, c);
    }

    UdpPeer m_server;
    LineLog m_log;
    SteadyLinkClock m_clock;
};

}  // namespace

TEST_F(LinkEngineTest, RelaysBothWaysAndRepliesReachTheLastClient)
{
    auto engine = Run(Options());
    UdpPeer first, second;
    ASSERT_GT(first.SendText("from first", engine->ListenPort()), 0);
    EXPECT_EQ(m_server.ReceiveText(), "from first");
    ASSERT_GT(second.SendText("from second", engine->ListenPort()), 0);
    const auto atServer = m_server.Receive();
    ASSERT_TRUE(atServer);
    EXPECT_EQ(atServer->fromPort, engine->ListenPort());  // the server sees the relay
    ASSERT_GT(m_server.SendText("reply", engine->ListenPort()), 0);
    EXPECT_EQ(second.ReceiveText(), "reply");
    EXPECT_FALSE(first.ReceiveText(200ms));
    EXPECT_EQ(m_log.Lines(), (std::vector<std::wstring>{L"Dulvet Ready!", L"Misscount :0 .", L"Delay :0 ms ."}));
    EXPECT_EQ(Stat(*engine, Direction::ToServer, DirectionCounter::Sent), 2u);
    EXPECT_EQ(Stat(*engine, Direction::ToClient, DirectionCounter::Sent), 1u);
}

TEST_F(LinkEngineTest, PassesEmptyAndLargestDatagramsWholeAndRunsBesideAnotherEngine)
{
    UdpPeer otherServer;
    LinkOptions otherOptions = Options();
    otherOptions.server = IpEndpoint::V4(0x7F000001, static_cast<std::uint16_t>(otherServer.Port()));
    auto engine = Run(Options());
    auto other = Run(otherOptions);
    UdpPeer client;
    const auto largest = RandomBytes(LinkEngine::kLargestDatagram, 5);
    ASSERT_GT(client.SendTo(largest, engine->ListenPort()), 0);
    ASSERT_EQ(client.SendTo({}, engine->ListenPort()), 0);
    ASSERT_GT(client.SendText("other", other->ListenPort()), 0);
    const auto big = m_server.Receive();
    ASSERT_TRUE(big);
    EXPECT_EQ(big->bytes, largest);
    const auto empty = m_server.Receive();
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->bytes.empty());
    EXPECT_EQ(otherServer.ReceiveText(), "other");
    EXPECT_FALSE(m_server.ReceiveText(100ms));
}

// Datagrams are taken and sent many at a time: a burst several times
// longer than one batch, of every size, passes whole and in order, both ways.
TEST_F(LinkEngineTest, ABurstLongerThanABatchPassesWholeAndInOrderBothWays)
{
    auto engine = Run(Options());
    UdpPeer client;
    constexpr int kDatagrams = 150;
    const auto bytesOf = [](int i) { return RandomBytes(static_cast<size_t>(i * 97 % 1500), static_cast<std::uint32_t>(i)); };
    for (int i = 0; i < kDatagrams; ++i)
        ASSERT_GE(client.SendTo(bytesOf(i), engine->ListenPort()), 0);
    for (int i = 0; i < kDatagrams; ++i) {
        const auto datagram = m_server.Receive();
        ASSERT_TRUE(datagram) << "datagram " << i;
        ASSERT_EQ(datagram->bytes, bytesOf(i)) << "datagram " << i;
    }
    for (int i = 0; i < kDatagrams; ++i)
        ASSERT_GE(m_server.SendTo(bytesOf(kDatagrams - i), engine->ListenPort()), 0);
    for (int i = 0; i < kDatagrams; ++i) {
        const auto datagram = client.Receive();
        ASSERT_TRUE(datagram) << "reply " << i;
        ASSERT_EQ(datagram->bytes, bytesOf(kDatagrams - i)) << "reply " << i;
    }
    EXPECT_EQ(Stat(*engine, Direction::ToClient, DirectionCounter::Sent), size_t{kDatagrams});
}

TEST_F(LinkEngineTest, BothDirectionsImpairedEachWithItsOwnCounter)
{
    LinkOptions options = Options();
    options.direction = LinkDirection::Both;
    options.lossPercent = 50;  // every second one dropped
    auto engine = Run(options);
    UdpPeer client;
    for (int i = 0; i < 4; ++i)
        ASSERT_GT(client.SendText("c" + std::to_string(i), engine->ListenPort()), 0);
    EXPECT_EQ(m_server.ReceiveText(), "c0");
    EXPECT_EQ(m_server.ReceiveText(), "c2");
    for (int i = 0; i < 4; ++i)
        ASSERT_GT(m_server.SendText("s" + std::to_string(i), engine->ListenPort()), 0);
    EXPECT_EQ(client.ReceiveText(), "s0");
    EXPECT_EQ(client.ReceiveText(), "s2");
    EXPECT_FALSE(client.ReceiveText(200ms));
    EXPECT_FALSE(m_server.ReceiveText(10ms));
    EXPECT_EQ(m_log.Count(L"count:1."), 4u);
    EXPECT_EQ(m_log.Count(L"Miss a packet."), 4u);
    EXPECT_EQ(Stat(*engine, Direction::ToServer, DirectionCounter::PeriodicDrops), 2u);
    EXPECT_EQ(Stat(*engine, Direction::ToClient, DirectionCounter::PeriodicDrops), 2u);
}

TEST_F(LinkEngineTest, ADelayedDirectionDoesNotHoldTheOtherBack)
{
    LinkOptions options = Options();
    options.delayMs = 20000;
    auto engine = Run(options);
    UdpPeer client;
    ASSERT_GT(client.SendText("slow", engine->ListenPort()), 0);
    ASSERT_TRUE(WaitUntil([&] { return Stat(*engine, Direction::ToServer, DirectionCounter::Received) == 1; }));
    ASSERT_GT(m_server.SendText("fast", engine->ListenPort()), 0);
    EXPECT_EQ(client.ReceiveText(5000ms), "fast");
    EXPECT_FALSE(m_server.ReceiveText(10ms));
    EXPECT_EQ(engine->Stats().waiting, 1u);
}

TEST_F(LinkEngineTest, DelayedDatagramsLeaveNoSoonerThanTheirDelayBothWays)
{
    LinkOptions options = Options();
    options.direction = LinkDirection::Both;
    options.pipeline = true;
    options.delayMs = 150;
    auto engine = Run(options);
    UdpPeer client;
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_GT(client.SendText("there", engine->ListenPort()), 0);
    EXPECT_EQ(m_server.ReceiveText(), "there");
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 150ms);
    const auto replied = std::chrono::steady_clock::now();
    ASSERT_GT(m_server.SendText("back", engine->ListenPort()), 0);
    EXPECT_EQ(client.ReceiveText(), "back");
    EXPECT_GE(std::chrono::steady_clock::now() - replied, 150ms);
    EXPECT_TRUE(m_log.WaitFor(L"Delay 150 ms.", 2));
}

TEST_F(LinkEngineTest, StopEndsAtOnceDuringALongDelayAndSendsNothingMore)
{
    LinkOptions options = Options();
    options.delayMs = 60000;
    auto engine = Run(options);
    UdpPeer client;
    ASSERT_GT(client.SendText("held", engine->ListenPort()), 0);
    ASSERT_TRUE(WaitUntil([&] { return engine->Stats().waiting == 1; }));
    const auto before = std::chrono::steady_clock::now();
    engine->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
    engine.reset();
    EXPECT_FALSE(m_server.ReceiveText(300ms));
}

TEST_F(LinkEngineTest, ModifyDuringADelayFreesTheWaitingAndKeepsTheCounter)
{
    LinkOptions options = Options();
    options.lossPercent = 25;  // period 4
    options.delayMs = 60000;
    auto engine = Run(options);
    UdpPeer client;
    ASSERT_GT(client.SendText("a", engine->ListenPort()), 0);  // count 1, waiting a minute
    ASSERT_TRUE(WaitUntil([&] { return engine->Stats().waiting == 1; }));
    engine->Modify(25, 0);
    EXPECT_EQ(m_server.ReceiveText(5000ms), "a");
    for (const char* text : {"b", "c", "d", "e"})
        ASSERT_GT(client.SendText(text, engine->ListenPort()), 0);
    EXPECT_EQ(m_server.ReceiveText(), "b");
    EXPECT_EQ(m_server.ReceiveText(), "c");
    EXPECT_EQ(m_server.ReceiveText(), "e");
    EXPECT_TRUE(m_log.WaitFor(L"count:1.", 2));
    EXPECT_EQ(m_log.Count(L"Dulvet Ready!"), 2u);
    EXPECT_EQ(m_log.Count(L"Misscount :4 ."), 2u);
    EXPECT_EQ(m_log.Count(L"Delay :0 ms ."), 1u);
    EXPECT_EQ(m_log.Count(L"Delay 0 ms."), 1u);  // "a", after the change
    EXPECT_EQ(m_log.Count(L"count:3."), 1u);
    EXPECT_EQ(m_log.Count(L"Miss a packet."), 1u);  // "d"
}

TEST_F(LinkEngineTest, OpenReportsAPortInUseWithTheSystemsCode)
{
    UdpPeer holder;
    LinkOptions options = Options();
    options.listen = {IpEndpoint::V4(0x7F000001, static_cast<std::uint16_t>(holder.Port()))};
    LinkEngine engine(options, m_log, m_clock);
    EXPECT_FALSE(engine.Open());
    EXPECT_NE(engine.LastError(), 0);
    EXPECT_FALSE(engine.Start());
    EXPECT_TRUE(m_log.Lines().empty());
}

// Settings, an outage and the direction change while it runs, each taken
// before the next datagram once WaitApplied returns; counters carry on.
TEST_F(LinkEngineTest, ChangesWhileRunningMeetTheNextDatagramAndKeepTheCounters)
{
    auto engine = Run(Options());
    UdpPeer client;
    const auto sendAndCount = [&](const char* text, Direction way, DirectionCounter counter, std::uint64_t expected) {
        UdpPeer& from = way == Direction::ToServer ? client : m_server;
        ASSERT_GT(from.SendText(text, engine->ListenPort()), 0);
        EXPECT_TRUE(WaitUntil([&] { return Stat(*engine, way, counter) == expected; })) << text;
    };
    sendAndCount("a", Direction::ToServer, DirectionCounter::Sent, 1);
    EXPECT_EQ(m_server.ReceiveText(), "a");

    LinkSettings lossy = engine->Settings();
    lossy.randomLossPercent = 100;
    const auto ticket = engine->Apply(lossy, L"Set --random-loss 100.\r\n");
    ASSERT_TRUE(ticket && engine->WaitApplied(*ticket, 5s));
    EXPECT_EQ(engine->Settings(), lossy);
    sendAndCount("b", Direction::ToServer, DirectionCounter::RandomDrops, 1);

    LinkSettings both = lossy;
    both.randomLossPercent = 0;
    both.direction = LinkDirection::Both;
    ASSERT_TRUE(engine->WaitApplied(*engine->Apply(both, L"Set --random-loss off --direction both.\r\n"), 5s));
    ASSERT_TRUE(engine->WaitApplied(*engine->Down(LinkDirection::ToClient, std::nullopt, L"Link down.\r\n"), 5s));
    sendAndCount("c", Direction::ToServer, DirectionCounter::Sent, 2);
    EXPECT_EQ(m_server.ReceiveText(), "c");
    sendAndCount("x", Direction::ToClient, DirectionCounter::OutageDrops, 1);
    ASSERT_TRUE(engine->WaitApplied(*engine->Up(L"Link up.\r\n"), 5s));
    sendAndCount("y", Direction::ToClient, DirectionCounter::Sent, 1);
    EXPECT_EQ(client.ReceiveText(), "y");

    // An outage for a time ends by itself.
    ASSERT_TRUE(engine->WaitApplied(*engine->Down(LinkDirection::Both, 50ms, L"Link down.\r\n"), 5s));
    sendAndCount("d", Direction::ToServer, DirectionCounter::OutageDrops, 1);
    std::this_thread::sleep_for(60ms);  // the outage's own length, not a wait for the engine
    sendAndCount("e", Direction::ToServer, DirectionCounter::Sent, 3);

    const auto lines = m_log.Lines();
    EXPECT_EQ(std::vector<std::wstring>(lines.begin() + 3, lines.begin() + 6),
              (std::vector<std::wstring>{L"Set --random-loss 100.", L"Lost at random.", L"Set --random-loss off --direction both."}))
        << "the line names the change as it applies";
}

// A serial delay whose datagrams fall over a second behind says so, once.
TEST_F(LinkEngineTest, ASerialDelayFallingBehindSaysSoOnce)
{
    LinkOptions options = Options();
    options.delayMs = 400;
    LineLog notices;
    auto engine = std::make_unique<LinkEngine>(options, m_log, m_clock);
    engine->SetNoticeLog(notices);
    ASSERT_TRUE(engine->Open());
    ASSERT_TRUE(engine->Start());
    UdpPeer client;
    for (int i = 0; i < 6; ++i)  // the sixth waits 2 s behind the five before it
        ASSERT_GT(client.SendText("x", engine->ListenPort()), 0);
    ASSERT_TRUE(WaitUntil([&] { return Stat(*engine, Direction::ToServer, DirectionCounter::Received) == 6; }));
    EXPECT_TRUE(WaitUntil([&] { return notices.Lines().size() == 1; }));
    EXPECT_NE(notices.Lines().front().find(L"--pipeline"), std::wstring::npos);
    engine->Stop();
    EXPECT_EQ(notices.Lines().size(), 1u);
}

TEST_F(LinkEngineTest, TheCapOnWaitingDatagramsCountsTheirBookkeepingNotOnlyTheirBytes)
{
    // Room for 100 one-byte datagrams as they really cost: their 64-byte
    // blocks were all the cap counted, which let 4.19 M of them cost
    // 739 MiB under a cap of 256.
    constexpr std::size_t kRoom = 100;
    LinkOptions options = Options();
    options.pipeline = true;
    options.delayMs = 100000;
    options.mostWaitingCost = kRoom * (DatagramStore::CostOf(1) + LinkEngine::kEntryCost);
    auto engine = Run(options);
    UdpPeer client;
    for (std::size_t i = 0; i < kRoom + 50; ++i)
        ASSERT_GT(client.SendText("x", engine->ListenPort()), 0);
    ASSERT_TRUE(WaitUntil([&] { return Stat(*engine, Direction::ToServer, DirectionCounter::Received) == kRoom + 50; }));
    engine->Stop();  // the gauges as the last turn left them
    EXPECT_EQ(engine->Stats().waiting, kRoom);
    EXPECT_EQ(Stat(*engine, Direction::ToServer, DirectionCounter::NoRoomDrops), 50u);
}

TEST_F(LinkEngineTest, AShorterDelayMovesMoreThanASliceAndLeavesNoneBehind)
{
    // More than one turn's slice waits under a long delay; made shorter,
    // every one of them leaves, in the order they came, turn after turn.
    constexpr int kCount = static_cast<int>(LinkEngine::kRescheduleSlice) + 400;
    LinkOptions options = Options();
    options.pipeline = true;
    options.delayMs = 100000;
    auto engine = Run(options);
    UdpPeer client;
    for (int i = 0; i < kCount; ++i) {
        ASSERT_GT(client.SendText(std::to_string(i), engine->ListenPort()), 0);
        if (i % 500 == 499) {  // paced: the relay's buffer never overflows
            ASSERT_TRUE(WaitUntil([&] { return Stat(*engine, Direction::ToServer, DirectionCounter::Received) > unsigned(i); }));
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return engine->Stats().waiting == unsigned(kCount); }));
    ASSERT_TRUE(engine->WaitApplied(engine->Modify(0, 0), 5s));
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(m_server.ReceiveText(), std::to_string(i));
}

// Timed changes (a scenario's steps) on a fake clock: each datagram meets
// exactly the changes timed up to its arrival, an outage runs from its
// time, and untimed settings take timed ones still waiting along.
TEST(LinkEngineTimedChanges, ApplyAtTheirTimeInOrderAndFoldIntoUntimedSettings)
{
    UdpPeer server, client;
    FakeClock clock;
    LinkOptions options;
    options.server = IpEndpoint::V4(0x7F000001, static_cast<std::uint16_t>(server.Port()));
    options.seed = 1;
    LineLog log, datagrams;
    LinkEngine engine(options, log, datagrams, clock);
    ASSERT_TRUE(engine.Open() && engine.Start());
    const LinkTime start = clock.Now();
    LinkSettings lossy = engine.Settings(), clear = lossy;
    lossy.randomLossPercent = 100;
    ASSERT_TRUE(engine.WaitApplied(*engine.Apply(lossy, L"A\r\n", start + 100ms), 5s));
    ASSERT_TRUE(engine.WaitApplied(*engine.Down(LinkDirection::Both, 50ms, L"B\r\n", start + 200ms), 5s));
    ASSERT_TRUE(engine.WaitApplied(*engine.Apply(clear, L"C\r\n", start + 300ms), 5s));
    const auto fates = [&] {
        return std::array{engine.Stats().Of(Direction::ToServer, DirectionCounter::Sent),
                          engine.Stats().Of(Direction::ToServer, DirectionCounter::RandomDrops),
                          engine.Stats().Of(Direction::ToServer, DirectionCounter::OutageDrops)};
    };
    enum Fate { Left, Random, Outage };
    // The first datagram after 200 ms comes at 230: the outage still ends at 250.
    const std::pair<int, Fate> sends[] = {{0, Left},     {99, Left},    {100, Random}, {199, Random},
                                          {230, Outage}, {249, Outage}, {250, Random}, {300, Left}};
    std::array<std::uint64_t, 3> expected{};
    for (const auto& [ms, fate] : sends) {
        clock.Set(start + std::chrono::milliseconds(ms));
        ASSERT_GT(client.SendText("x", engine.ListenPort()), 0);
        ++expected[fate];
        EXPECT_TRUE(WaitUntil([&] { return fates() == expected; })) << "at " << ms << " ms";
    }
    ASSERT_TRUE(engine.WaitApplied(*engine.Apply(lossy, L"D\r\n", start + 1s), 5s));
    ASSERT_TRUE(engine.WaitApplied(*engine.Apply(lossy, L"E\r\n"), 5s));
    const auto lines = log.Lines();
    EXPECT_EQ(std::vector<std::wstring>(lines.end() - 5, lines.end()),
              (std::vector<std::wstring>{L"A", L"B", L"C", L"D", L"E"}));
}
