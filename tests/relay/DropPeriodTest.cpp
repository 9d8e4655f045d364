// Loss rate to drop period, and the worker's counting and dropping.

#include <cmath>
#include <limits>

#include "relay/MissCount.h"
#include "tests/relay/RelayFixture.h"

using namespace std::chrono_literals;

TEST(MissCountFromLossRate, TruncatesOneHundredOverTheRate)
{
    const std::pair<double, std::int32_t> table[] = {
        {0, 0},     {10, 10},   {25, 4},     {30, 3},     {33, 3},    {34, 2},   {50, 2},
        {100, 1},   {150, 0},   {-10, -10},  {-100, -1},  {-150, 0},  {0.5, 200}, {-0.0, 0},
    };
    for (const auto& [rate, expected] : table)
        EXPECT_EQ(MissCountFromLossRate(rate), expected) << "rate " << rate;
}

TEST(MissCountFromLossRate, QuotientsOutsideThe32BitRangeSaturateAndNaNGivesZero)
{
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(MissCountFromLossRate(1e-300), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(MissCountFromLossRate(-1e-300), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(MissCountFromLossRate(4.6566e-8), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(MissCountFromLossRate(inf), 0);
    EXPECT_EQ(MissCountFromLossRate(-inf), 0);
    EXPECT_EQ(MissCountFromLossRate(std::nan("")), 0);
    EXPECT_EQ(MissCountFromLossRate(1e300), 0);
}

using DropPeriod = RelayFixture;

TEST_F(DropPeriod, LossRate25ForwardsThreeThenDropsTheFourthWithExactLines)
{
    StartRelay(MissCountFromLossRate(25));
    UdpPeer client;
    SendNumbered(client, 8);
    ASSERT_TRUE(m_host.WaitForLines(8));
    EXPECT_EQ(ServerReceivesTheRest(), (std::vector<std::string>{"0", "1", "2", "4", "5", "6"}));
    EXPECT_EQ(m_host.Text(), CString(L"count:1.\r\ncount:2.\r\ncount:3.\r\nMiss a packet.\r\n"
                                     L"count:1.\r\ncount:2.\r\ncount:3.\r\nMiss a packet.\r\n"));
}

TEST_F(DropPeriod, ChangingTheMissCountContinuesFromTheCurrentCounter)
{
    StartRelay(10);
    UdpPeer client;
    SendNumbered(client, 5);
    ASSERT_TRUE(m_host.WaitForLines(5));  // counts 1..5; the counter is now 6
    ASSERT_EQ(ServerReceivesTheRest().size(), 5u);

    g_relaySocket.m_nMissCount = 2;  // at or below the counter: the next one drops
    SendNumbered(client, 4, 5);
    ASSERT_TRUE(m_host.WaitForLines(9));
    EXPECT_EQ(ServerReceivesTheRest(), (std::vector<std::string>{"6", "8"}));
    const auto lines = m_host.Lines();
    EXPECT_EQ(std::vector<std::wstring>(lines.begin() + 5, lines.end()),
              (std::vector<std::wstring>{L"Miss a packet.", L"count:1.", L"Miss a packet.", L"count:1."}));
}

TEST_F(DropPeriod, NegativeOrUnitMissCountDropsEveryClientDatagramButNoReply)
{
    StartRelay(-1);
    UdpPeer client;
    SendNumbered(client, 3);
    ASSERT_TRUE(m_host.WaitForLines(3));
    EXPECT_TRUE(ServerReceivesTheRest().empty());
    EXPECT_EQ(m_host.Lines(), (std::vector<std::wstring>(3, L"Miss a packet.")));

    // The client is remembered even when its datagram is dropped.
    ASSERT_GT(m_server.SendText("reply", m_relayPort), 0);
    EXPECT_EQ(client.ReceiveText(), "reply");
}

using RelayDelay = RelayFixture;

TEST_F(RelayDelay, EachClientDatagramWaitsItsTurnAndIsLogged)
{
    constexpr int kDelay = 60;
    constexpr int kCount = 5;
    StartRelay(0, kDelay);
    UdpPeer client;
    const auto sent = std::chrono::steady_clock::now();
    SendNumbered(client, kCount);
    for (int k = 1; k <= kCount; ++k) {
        ASSERT_EQ(m_server.ReceiveText(), std::to_string(k - 1));
        EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(k * kDelay)) << "datagram " << k;
    }
    ASSERT_TRUE(m_host.WaitForLines(kCount));
    EXPECT_EQ(m_host.Lines(), (std::vector<std::wstring>(kCount, L"Delay 60 ms.")));
}

TEST_F(RelayDelay, PauseLongerThanASliceEndsNoSoonerThanItsDelay)
{
    // 520 ms is waited out in slices, looking at the delay between them; the
    // last stretch runs to the end of the delay, not to a rounded count.
    constexpr auto kDelay = 520ms;
    StartRelay(0, static_cast<std::int32_t>(kDelay.count()));
    UdpPeer client;
    const auto sent = std::chrono::steady_clock::now();
    SendNumbered(client, 2);
    for (int k = 1; k <= 2; ++k) {
        ASSERT_EQ(m_server.ReceiveText(), std::to_string(k - 1));
        EXPECT_GE(std::chrono::steady_clock::now() - sent, k * kDelay) << "datagram " << k;
    }
}

TEST_F(RelayDelay, NegativeDelayGivesNoPauseButIsReportedAsSigned)
{
    StartRelay(0, -5000);
    UdpPeer client;
    const auto sent = std::chrono::steady_clock::now();
    SendNumbered(client, 2);
    EXPECT_EQ(ServerReceives(2).size(), 2u);
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 5s) << "a negative delay must not pause";
    ASSERT_TRUE(m_host.WaitForLines(2));
    EXPECT_EQ(m_host.Lines(), (std::vector<std::wstring>(2, L"Delay -5000 ms.")));
}

TEST_F(RelayDelay, StopCutsALongPauseShortWithoutForwardingOrLogging)
{
    StartRelay(1, 60000);
    UdpPeer client;
    ASSERT_GT(client.SendText("slow", m_relayPort), 0);
    ASSERT_TRUE(WaitUntilRelayTookEverything());  // the worker holds it in its pause
    const auto before = std::chrono::steady_clock::now();
    g_relayWorker.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s) << "a stop must not wait out the pause";
    EXPECT_TRUE(m_host.Text().IsEmpty());
    EXPECT_FALSE(m_server.ReceiveText(100ms));  // the worker is gone: nothing can come any more
}

TEST_F(RelayDelay, ModifyToAShorterDelayFreesADatagramWaitingOutALongOne)
{
    StartRelay(0, 86400001);  // a day and a millisecond
    UdpPeer client;
    ASSERT_GT(client.SendText("typo", m_relayPort), 0);
    ASSERT_TRUE(WaitUntilRelayTookEverything());  // the worker holds it in its pause
    std::this_thread::sleep_for(300ms);           // past the pause's first look at the delay
    g_relaySocket.m_nDelay = 40;
    EXPECT_EQ(m_server.ReceiveText(), "typo");
    ASSERT_TRUE(m_host.WaitForLines(1));
    EXPECT_EQ(m_host.Lines(), std::vector<std::wstring>{L"Delay 40 ms."});
}

// The miss count is read once, after the pause: a Modify during the pause
// applies to the datagram waiting in it, and a loss of 0 then drops nothing.
struct ModifyDuringAPause {
    const char* name;
    std::int32_t missCountBefore;
    std::int32_t missCountDuring;
    bool forwarded;
    const wchar_t* firstDecision;  // the line after "Delay 40 ms."; null: none
    const wchar_t* nextDecision;
};

void PrintTo(const ModifyDuringAPause& row, std::ostream* out) { *out << row.name; }

class MissCountChangedInAPause : public RelayFixture, public ::testing::WithParamInterface<ModifyDuringAPause> {};

TEST_P(MissCountChangedInAPause, AppliesToTheWaitingDatagram)
{
    const ModifyDuringAPause& row = GetParam();
    StartRelay(row.missCountBefore, 60000);
    UdpPeer client;
    ASSERT_GT(client.SendText("waiting", m_relayPort), 0);
    ASSERT_TRUE(WaitUntilRelayTookEverything());  // the worker holds it in its pause
    std::this_thread::sleep_for(300ms);           // past the pause's first look at the delay
    g_relaySocket.m_nMissCount = row.missCountDuring;
    g_relaySocket.m_nDelay = 40;  // ends the pause
    ASSERT_GT(client.SendText("next", m_relayPort), 0);

    std::vector<std::wstring> expected;
    for (const wchar_t* decision : {row.firstDecision, row.nextDecision}) {
        expected.push_back(L"Delay 40 ms.");
        if (decision)
            expected.push_back(decision);
    }
    if (row.forwarded) {
        EXPECT_EQ(ServerReceives(2), (std::vector<std::string>{"waiting", "next"}));
    }
    ASSERT_TRUE(m_host.WaitForLines(expected.size()));
    EXPECT_EQ(m_host.Lines(), expected);
    EXPECT_TRUE(ServerReceivesTheRest().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Modify, MissCountChangedInAPause,
    ::testing::Values(ModifyDuringAPause{"LossOffForwardsUncounted", 4, 0, true, nullptr, nullptr},
                      ModifyDuringAPause{"LossOnCountsIt", 0, 4, true, L"count:1.", L"count:2."},
                      ModifyDuringAPause{"NegativeStillDrops", 4, -1, false, L"Miss a packet.", L"Miss a packet."}),
    [](const auto& info) { return std::string(info.param.name); });
