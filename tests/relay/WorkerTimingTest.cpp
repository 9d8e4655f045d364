// How the worker keeps time while a delay is set: the dialog's keeps its
// priority; dulvet's is raised while the delay is above 0, where the
// system grants it, and given back when Modify sets no delay.

#include <thread>

#include "tests/relay/RelayFixture.h"

#ifndef _WIN32
#include <dirent.h>
#include <sched.h>

#include <cstdlib>
#endif

using namespace std::chrono_literals;
using Priority = ThreadTiming::Priority;

namespace {

#ifndef _WIN32
// Threads of this process under SCHED_FIFO, the raise of ours on Linux.
int RaisedThreads()
{
    int raised = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return -1;
    while (const dirent* task = readdir(tasks)) {
        const int tid = std::atoi(task->d_name);
        if (tid > 0 && (sched_getscheduler(tid) & ~SCHED_RESET_ON_FORK) == SCHED_FIFO)
            ++raised;
    }
    closedir(tasks);
    return raised;
}
#endif

bool RaiseGranted()
{
    bool granted = false;
    std::thread([&] {
        granted = ThreadTiming::ForThisThread(Priority::RaiseOrKeep) == ThreadTiming::Granted::RaisedPriority;
    }).join();
    return granted;
}

class WorkerTiming : public RelayFixture {
protected:
    void TearDown() override
    {
        RelayFixture::TearDown();
        g_relayWorker.KeepTimeWith(Priority::Keep);
    }

    // Waits until as many threads are raised, or a generous deadline passes.
    static bool RaisedBecomes(int wanted)
    {
#ifndef _WIN32
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (RaisedThreads() != wanted) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(1ms);
        }
#endif
        return true;
    }

    // One client datagram through the relay, its pause included.
    void PassOneDatagram()
    {
        UdpPeer client;
        SendNumbered(client, 1);
        EXPECT_EQ(ServerReceives(1).size(), 1u);
    }
};

}  // namespace

TEST_F(WorkerTiming, TheDialogsWorkerKeepsItsPriorityWithADelay)
{
    StartRelay(0, 5);
    PassOneDatagram();
#ifndef _WIN32
    EXPECT_EQ(RaisedThreads(), 0);
#endif
}

TEST_F(WorkerTiming, DulvetsWorkerIsRaisedOnlyWhileADelayIsSet)
{
#ifdef _WIN32
    GTEST_SKIP() << "the worker's thread priority is read only on Linux here";
#endif
    if (!RaiseGranted())
        GTEST_SKIP() << "no raise for this user";
    g_relayWorker.KeepTimeWith(Priority::RaiseOrKeep);
    StartRelay(0, 0);
    PassOneDatagram();
    EXPECT_TRUE(RaisedBecomes(0)) << "no delay, no raise";
    g_relaySocket.m_nDelay = 5;  // as Modify sets it
    PassOneDatagram();
    EXPECT_TRUE(RaisedBecomes(1));
    g_relaySocket.m_nDelay = 0;
    PassOneDatagram();
    EXPECT_TRUE(RaisedBecomes(0)) << "given back with the delay";
}
