// The window's end, without the window: the worker is stopped in the middle
// of a burst or of a pause and its log host destroyed at once, as when the
// dialog goes away. Under the address sanitizer any later touch of the host
// is a use after free.

#include <atomic>
#include <memory>
#include <thread>

#include "RelayFixture.h"

using namespace std::chrono_literals;

namespace {

struct Moment {
    const char* name;
    std::int32_t missCount;
    std::int32_t delay;
};

void PrintTo(const Moment& moment, std::ostream* out) { *out << moment.name; }

class StopMidFlight : public RelayFixture, public ::testing::WithParamInterface<Moment> {};

}  // namespace

TEST_P(StopMidFlight, LeavesTheDestroyedHostAloneAndARelaunchRelays)
{
    auto host = std::make_unique<TestLogHost>();
    g_relaySocket.m_nMissCount = GetParam().missCount;
    g_relaySocket.m_nDelay = GetParam().delay;
    ASSERT_TRUE(g_relayWorker.Launch(*host));

    // A client that keeps sending (bounded) until the end of the test.
    std::atomic<bool> stop{false};
    std::thread client([&] {
        UdpPeer peer;
        for (int i = 0; i < 200000 && !stop; ++i) {
            peer.SendText("burst", m_relayPort);
            if (i % 64 == 63)
                std::this_thread::sleep_for(100us);
        }
    });
    // Busy: lines coming (a burst) or the first datagram in its pause.
    ASSERT_TRUE(host->WaitForLines(GetParam().delay > 0 ? 0 : 200));
    std::this_thread::sleep_for(100ms);
    const auto before = std::chrono::steady_clock::now();
    g_relayWorker.Stop();
    host.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    std::this_thread::sleep_for(50ms);  // datagrams keep coming; nobody may take them
    stop = true;
    client.join();
    ServerReceivesAll(100ms);

    // The socket and state are as the stop left them: a new worker relays.
    g_relaySocket.m_nMissCount = 0;
    g_relaySocket.m_nDelay = 0;
    ASSERT_TRUE(g_relayWorker.Launch(m_host));
    ServerReceivesAll(200ms);  // what waited in the relay's socket meanwhile
    UdpPeer late;
    ASSERT_GT(late.SendText("after", m_relayPort), 0);
    EXPECT_EQ(m_server.ReceiveText(), "after");
}

INSTANTIATE_TEST_SUITE_P(Moments, StopMidFlight,
                         ::testing::Values(Moment{"InABurstWithLoss", 3, 0}, Moment{"InATenSecondPause", 0, 10000}),
                         [](const auto& info) { return std::string(info.param.name); });
