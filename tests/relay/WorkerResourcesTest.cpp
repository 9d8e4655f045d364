// What the worker does when the system refuses what it needs: no stop
// signal, no thread, or waits that fail. The system will not refuse on
// demand, so fakes stand in for it.

#include <atomic>

#include "tests/support/ProcessCpuTime.h"
#include "tests/relay/RelayFixture.h"

using namespace std::chrono_literals;

namespace {

// A stop signal whose event the system would not make.
std::unique_ptr<StopSignal> RefusedStopSignal() { return std::make_unique<StopSignal>(StopSignal::kNoHandle); }

// One that looks made but on which every wait fails, as on a handle gone bad.
std::unique_ptr<StopSignal> BrokenStopSignal()
{
#ifdef _WIN32
    return std::make_unique<StopSignal>(static_cast<std::intptr_t>(0x7FFF0F04));
#else
    return std::make_unique<StopSignal>(static_cast<std::intptr_t>(0x3FFFFFF0));  // far past any open descriptor
#endif
}

std::unique_ptr<CWinThread> RefusedThread(AFX_THREADPROC, void*) { return nullptr; }

class WorkerResources : public RelayFixture {
protected:
    void TearDown() override
    {
        RelayFixture::TearDown();
        g_relayWorker.UseResources({});
    }
};

}  // namespace

TEST_F(WorkerResources, AStopSignalOrThreadTheSystemRefusesStopsTheLaunchCleanly)
{
    RelayWorker::Resources noStopSignal;
    noStopSignal.makeStopSignal = &RefusedStopSignal;
    RelayWorker::Resources noThread;
    noThread.beginThread = &RefusedThread;
    for (const auto& refusing : {noStopSignal, noThread}) {
        g_relayWorker.UseResources(refusing);
        int announced = 0;
        EXPECT_FALSE(g_relayWorker.Launch(m_host, [&] { ++announced; }));
        EXPECT_FALSE(g_relayWorker.IsRunning());
        EXPECT_EQ(announced, 0) << "nothing may be announced for a relay that did not start";
        g_relayWorker.Stop();  // nothing to stop: returns at once
    }

    // With what the system gives, the same worker starts and relays.
    g_relayWorker.UseResources({});
    int announced = 0;
    ASSERT_TRUE(g_relayWorker.Launch(m_host, [&] { ++announced; }));
    EXPECT_EQ(announced, 1);
    UdpPeer client;
    ASSERT_GT(client.SendText("through", m_relayPort), 0);
    EXPECT_EQ(m_server.ReceiveText(), "through");
}

TEST_F(WorkerResources, AnnouncementComesBeforeAnyLineOfTheWorker)
{
    // Datagrams wait in the relay's socket before the launch: the worker
    // takes them at once, yet its lines follow the announcement.
    UdpPeer client;
    SendNumbered(client, 3);
    g_relaySocket.m_nMissCount = 2;
    ASSERT_TRUE(g_relayWorker.Launch(m_host, [&] {
        std::this_thread::sleep_for(50ms);  // a slow announcement: the worker waits for it
        m_host.AppendLog(L"announced\r\n");
    }));
    ASSERT_TRUE(m_host.WaitForLines(4));
    EXPECT_EQ(m_host.Lines(), (std::vector<std::wstring>{L"announced", L"count:1.", L"Miss a packet.", L"count:1."}));
}

TEST_F(WorkerResources, AWaitThatFailsIsTriedAgainCalmlyAndTheRelayGoesOn)
{
    RelayWorker::Resources broken;
    broken.makeStopSignal = &BrokenStopSignal;
    g_relayWorker.UseResources(broken);
    ASSERT_TRUE(g_relayWorker.Launch(m_host));

    // Every wait for a datagram fails at once: the worker must not spin.
    const auto cpuBefore = ProcessCpuTime();
    std::this_thread::sleep_for(2s);
    const auto cpuUsed = ProcessCpuTime() - cpuBefore;
    // Measured here: 40-50 ms natively under the thread sanitizer, 80-100 ms
    // under Wine; a spinning worker, 0.8 to 2 s.
    EXPECT_LT(cpuUsed, 400ms) << "a spinning worker burns a processor for the two seconds";

    // Datagrams still get through, and a stop still ends the worker.
    UdpPeer client;
    ASSERT_GT(client.SendText("through", m_relayPort), 0);
    EXPECT_EQ(m_server.ReceiveText(), "through");
    const auto before = std::chrono::steady_clock::now();
    g_relayWorker.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s);
}
