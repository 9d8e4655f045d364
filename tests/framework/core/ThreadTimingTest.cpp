#include <gtest/gtest.h>

#include <thread>

#include "framework/core/ThreadTiming.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

using Granted = ThreadTiming::Granted;
using Priority = ThreadTiming::Priority;

// Runs the check on a thread of its own, so that whatever the system grants
// ends with it.
template <typename Check>
void OnAFreshThread(Check check)
{
    std::thread thread(check);
    thread.join();
}

// The calling thread's priority as the system states it.
struct ThreadPriority {
#ifdef _WIN32
    int priority = GetThreadPriority(GetCurrentThread());
    bool operator==(const ThreadPriority&) const = default;
#else
    int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    bool operator==(const ThreadPriority&) const = default;
#endif
};

// Lowers the calling thread's priority as a user who starts the program
// to give way would; false where the system will not.
bool GiveWay()
{
#ifdef _WIN32
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL) != FALSE;
#else
    return setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 5) == 0;
#endif
}

bool IsRaised(const ThreadPriority& now)
{
#ifdef _WIN32
    return now.priority == THREAD_PRIORITY_TIME_CRITICAL;
#else
    return now.policy == SCHED_FIFO;
#endif
}

// Stand-ins for the system that grant or refuse, counting what was asked.
struct Asked {
    int throttling = 0;
    int turns = 0;
    int raise = 0;
} g_asked;
bool Grant(int& asked) { return ++asked, true; }
bool Refuse(int& asked) { return ++asked, false; }

}  // namespace

TEST(ThreadTiming, KeepLeavesTheThreadsPriorityAsItWas)
{
    OnAFreshThread([] {
        const ThreadPriority before;
        ThreadTiming::ForThisThread(Priority::Keep);
        EXPECT_EQ(ThreadPriority{}, before);
    });
    // Nor does it lift a thread that gives way back to normal.
    OnAFreshThread([] {
        if (!GiveWay())
            GTEST_SKIP() << "the system does not let a thread give way";
        const ThreadPriority before;
        ThreadTiming::ForThisThread(Priority::Keep);
        EXPECT_EQ(ThreadPriority{}, before);
    });
}

TEST(ThreadTiming, RaiseSaysWhatTheThreadGotAndSparesOneThatGivesWay)
{
    OnAFreshThread([] {
        const Granted granted = ThreadTiming::ForThisThread(Priority::Raise);
        // Raised where the user may have it (root here, or not), and then only.
        EXPECT_EQ(granted == Granted::RaisedPriority, IsRaised(ThreadPriority{}));
    });
    OnAFreshThread([] {
        if (!GiveWay())
            GTEST_SKIP() << "the system does not let a thread give way";
        const ThreadPriority before;
        EXPECT_NE(ThreadTiming::ForThisThread(Priority::Raise), Granted::RaisedPriority);
        EXPECT_EQ(ThreadPriority{}, before);
    });
}

TEST(ThreadTiming, LowerUndoesARaiseOfOursAndNoOneElses)
{
    OnAFreshThread([] {
        const ThreadPriority before;
        if (ThreadTiming::ForThisThread(Priority::Raise) != Granted::RaisedPriority)
            GTEST_SKIP() << "no raise for this user";
        ThreadTiming::Lower();
        EXPECT_EQ(ThreadPriority{}, before);
    });
#ifndef _WIN32
    OnAFreshThread([] {
        const sched_param own{2};
        if (sched_setscheduler(0, SCHED_FIFO, &own) != 0)
            GTEST_SKIP() << "no real time for this user";
        ThreadTiming::Lower();
        EXPECT_EQ(ThreadPriority{}.policy, SCHED_FIFO);
    });
#endif
}

TEST(ThreadTiming, ABackgroundThreadTakesBatchTurnsAtItsOwnNice)
{
    OnAFreshThread([] {
        if (!GiveWay())
            GTEST_SKIP() << "the system does not let a thread give way";
        const ThreadPriority before;
        const bool granted = ThreadTiming::ForThisBackgroundThread();
#ifdef _WIN32
        EXPECT_FALSE(granted);
        EXPECT_EQ(ThreadPriority{}, before);
#else
        EXPECT_TRUE(granted) << "any thread may ask for batch turns";
        EXPECT_EQ(ThreadPriority{}.policy, SCHED_BATCH);
        EXPECT_EQ(ThreadPriority{}.nice, before.nice);
#endif
    });
}

TEST(ThreadTiming, WhatTheSystemRefusesIsLeftOutSilently)
{
    using Call = bool (*)();
    const Call grantThrottling = [] { return Grant(g_asked.throttling); };
    const Call refuseThrottling = [] { return Refuse(g_asked.throttling); };
    const Call grantTurns = [] { return Grant(g_asked.turns); };
    const Call refuseTurns = [] { return Refuse(g_asked.turns); };
    const Call grantRaise = [] { return Grant(g_asked.raise); };
    const Call refuseRaise = [] { return Refuse(g_asked.raise); };
    const Call lower = [] { return true; };
    const auto ask = [](Priority priority, ThreadTiming::Calls calls) {
        g_asked = {};
        return ThreadTiming::ForThisThread(priority, calls);
    };

    // A refused raise falls back to what was granted before it.
    EXPECT_EQ(ask(Priority::Raise, {refuseThrottling, grantTurns, refuseRaise, lower}), Granted::PromptWakeups);
    EXPECT_EQ(ask(Priority::Raise, {grantThrottling, refuseTurns, refuseRaise, lower}), Granted::PromptWakeups);
    EXPECT_EQ(ask(Priority::Raise, {refuseThrottling, refuseTurns, refuseRaise, lower}), Granted::Nothing);
    EXPECT_EQ(g_asked.throttling + g_asked.turns + g_asked.raise, 3) << "each asked once";
    // Nothing refused before it keeps the raise from being asked for.
    EXPECT_EQ(ask(Priority::Raise, {refuseThrottling, refuseTurns, grantRaise, lower}), Granted::RaisedPriority);
    // Keep asks for neither short turns nor a raise.
    EXPECT_EQ(ask(Priority::Keep, {grantThrottling, grantTurns, grantRaise, lower}), Granted::PromptWakeups);
    EXPECT_EQ(g_asked.turns + g_asked.raise, 0);
    EXPECT_EQ(ask(Priority::Keep, {refuseThrottling, grantTurns, grantRaise, lower}), Granted::Nothing);
    // RaiseOrKeep asks for the raise alone: refused, the turns stay as they were.
    EXPECT_EQ(ask(Priority::RaiseOrKeep, {refuseThrottling, grantTurns, refuseRaise, lower}), Granted::Nothing);
    EXPECT_EQ(g_asked.turns, 0);
    EXPECT_EQ(ask(Priority::RaiseOrKeep, {refuseThrottling, grantTurns, grantRaise, lower}), Granted::RaisedPriority);

    // Lowered, a thread goes back to the turns it asked for with its raise.
    const Call notLowered = [] { return false; };
    const auto turnsAskedOnLowering = [](Priority raisedWith, ThreadTiming::Calls calls) {
        g_asked = {};
        ThreadTiming::Lower(raisedWith, calls);
        return g_asked.turns;
    };
    EXPECT_EQ(turnsAskedOnLowering(Priority::Raise, {grantThrottling, grantTurns, grantRaise, lower}), 1);
    EXPECT_EQ(turnsAskedOnLowering(Priority::RaiseOrKeep, {grantThrottling, grantTurns, grantRaise, lower}), 0);
    EXPECT_EQ(turnsAskedOnLowering(Priority::Raise, {grantThrottling, grantTurns, grantRaise, notLowered}), 0);
}
