// The window's end, without the window: the worker is stopped in the middle
// of a burst or of a pause and its log host destroyed at once, as when the
// dialog goes away. Under the address sanitizer any later touch of the host
// is a use after free.

#include <atomic>
#include <memory>
#include <thread>

#include "tests/relay/RelayFixture.h"

using namespace std::chrono_literals;

namespace {

struct Moment {
    const char* name;
    std::int32_t missCount;
    std::int32_t delay;
};

void PrintTo(const Moment& moment, std::ostream* out) { *out << moment.name; }

class StopMidFlight : public RelayFixture, public ::testing::WithParamInterface<Moment> {};

// Waits (bounded) until `counter` has grown by `by`.
bool WaitForGrowth(const std::atomic<int>& counter, int by)
{
    const int target = counter.load() + by;
    const auto deadline = std::chrono::steady_clock::now() + kArrivalDeadline;
    while (counter.load() < target) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

}  // namespace

TEST_P(StopMidFlight, LeavesTheDestroyedHostAloneAndARelaunchRelays)
{
    const bool inAPause = GetParam().delay > 0;
    auto host = std::make_unique<TestLogHost>();
    g_relaySocket.m_nMissCount = GetParam().missCount;
    g_relaySocket.m_nDelay = GetParam().delay;
    ASSERT_TRUE(g_relayWorker.Launch(*host));

    UdpPeer peer;
    if (inAPause) {
        // The first datagram, held in its pause before the burst begins.
        ASSERT_GT(peer.SendText("first", m_relayPort), 0);
        ASSERT_TRUE(WaitUntilRelayTookEverything());
    }
    // A client that keeps sending (bounded) until the end of the test.
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread client([&] {
        for (int i = 0; i < 400000 && !stop; ++i) {
            peer.SendText("burst", m_relayPort);
            ++sent;
            if (i % 64 == 63)
                std::this_thread::sleep_for(100us);
        }
    });
    // Busy: lines coming (a burst), or datagrams piling up behind the pause.
    ASSERT_TRUE(inAPause ? WaitForGrowth(sent, 200) : host->WaitForLines(200));
    const auto before = std::chrono::steady_clock::now();
    g_relayWorker.Stop();
    host.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s) << "a stop must not wait out the pause";
    // Datagrams keep coming after the stop; nobody may take them.
    EXPECT_TRUE(WaitForGrowth(sent, 1000));
    stop = true;
    client.join();

    // The socket and state are as the stop left them: a new worker relays
    // whatever waited in the relay's (full) socket meanwhile, then this.
    g_relaySocket.m_nMissCount = 0;
    g_relaySocket.m_nDelay = 0;
    ASSERT_TRUE(g_relayWorker.Launch(m_host));
    ASSERT_TRUE(WaitUntilRelayTookEverything());
    UdpPeer late;
    ASSERT_GT(late.SendText("after", m_relayPort), 0);
    std::optional<std::string> got;
    while ((got = m_server.ReceiveText()) && *got != "after") {
    }
    EXPECT_EQ(got, "after");
}

INSTANTIATE_TEST_SUITE_P(Moments, StopMidFlight,
                         ::testing::Values(Moment{"InABurstWithLoss", 3, 0}, Moment{"InAMinuteLongPause", 0, 60000}),
                         [](const auto& info) { return std::string(info.param.name); });
