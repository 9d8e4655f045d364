#pragma once
// Asks the system to let the calling thread run as soon as a timed wait of
// its ends, also when another program keeps its processor busy. Sleeping
// to a deadline is then enough: the thread never needs to wait out the
// last stretch awake.
//
// Priority::Keep changes nothing about the thread's priority. Linux: a
// short scheduler slice (0.1 ms, sched_setattr's sched_runtime; policy and
// nice stay as they are, Linux 6.12 and later honour it), so that a woken
// thread is let in ahead of a neighbour's long turn but gets no more of the
// processor than before. Windows: no power throttling for the thread.
//
// Priority::Raise adds a raised priority where the user may have it.
// Linux: SCHED_FIFO 1 (root or CAP_SYS_NICE); Windows:
// THREAD_PRIORITY_TIME_CRITICAL. A thread raised so must never spin or
// yield in a loop: it would starve whatever else runs on its processor. A
// thread the user has started at a lower priority (nice above 0, a below
// normal or idle class) or under a policy of their own choice is left at it.
//
// A thread whose work may wait a moment (writing lines out) is made a
// background one: its wake-ups no longer cut in ahead of a thread that
// keeps time. On Linux such a cut-in can cost the timekeeper a whole
// scheduler tick beside a busy program, as the scheduler may then hand the
// processor to the busy program first. Linux: SCHED_BATCH, nice unchanged;
// Windows: nothing.
//
// What the system refuses is left out without a word; the thread then runs
// as it did.

class ThreadTiming {
public:
    enum class Priority { Keep, Raise };
    enum class Granted { Nothing, PromptWakeups, RaisedPriority };

    // The calls into the system for the calling thread, each true when the
    // system did what was asked. A test stands in calls that refuse, which
    // the system will not do on demand.
    struct Calls {
        bool (*promptWakeups)();
        bool (*raisePriority)();
    };
    static const Calls& SystemCalls();

    static Granted ForThisThread(Priority priority, const Calls& calls = SystemCalls());
    // False where the system refused it or has nothing of the kind.
    static bool ForThisBackgroundThread();
};
