#pragma once
// Asks the system to let the calling thread run as soon as a timed wait of
// its ends, also when another program keeps its processor busy. Sleeping
// to a deadline is then enough: the thread never needs to wait out the
// last stretch awake.
//
// Priority::Keep leaves the thread's priority and its turns as they are.
// Windows: no power throttling for the thread. Linux: nothing; measured
// beside a busy program, short turns (below) made the relay engine's worker late
// more often, not less: it wakes the thread that writes its lines before
// it sends, and a turn of 0.1 ms then ends in the middle of its work.
//
// Priority::Raise asks for a raised priority where the user may have it:
// Linux SCHED_FIFO 1 (root, CAP_SYS_NICE or a real-time limit), Windows
// THREAD_PRIORITY_TIME_CRITICAL. Where that is refused, short turns on
// Linux: a scheduler slice of 0.1 ms (sched_setattr's sched_runtime,
// honoured from Linux 6.12 on) with policy and nice as they were, so that
// a woken thread is let in ahead of a neighbour's long turn but gets no
// more of the processor than before. A raised thread must never spin or
// yield in a loop: it would starve whatever else runs on its processor. A
// thread the user has started at a lower priority (nice above 0, a below
// normal or idle class) or under a policy of their own choice is left at it.
//
// A thread whose work may wait a moment (writing lines out) is made a
// background one: its wake-ups no longer cut in ahead of a thread that
// keeps time, which beside a busy program could then wait a whole
// scheduler tick for the processor. Linux: SCHED_BATCH, nice unchanged;
// Windows: nothing.
//
// Priority::RaiseOrKeep asks for the same raise, and where it is refused
// leaves the thread's turns as Keep does: for the relay engine's worker,
// which short turns make late (above).
//
// A raise costs throughput where the relay shares its processor with its
// clients: the raised thread takes each datagram the moment it arrives
// instead of several at a turn. Lower undoes a raise of ours (and only
// ours) once the thread has no time to keep, back to the turns the
// priority it was raised with asks for where refused: short ones for
// Raise, ordinary ones for RaiseOrKeep.
//
// What the system refuses is left out without a word; the thread then runs
// as it did.

class ThreadTiming {
public:
    enum class Priority { Keep, Raise, RaiseOrKeep };
    enum class Granted { Nothing, PromptWakeups, RaisedPriority };

    // The calls into the system for the calling thread, each true when the
    // system did what was asked (false too where it has nothing of the
    // kind). A test stands in calls that refuse, which the system will not
    // do on demand.
    struct Calls {
        bool (*neverThrottled)();
        bool (*shortTurns)();
        bool (*raisePriority)();
        bool (*lowerPriority)();
    };
    static const Calls& SystemCalls();

    static Granted ForThisThread(Priority priority, const Calls& calls = SystemCalls());
    static void Lower(Priority raisedWith = Priority::Raise, const Calls& calls = SystemCalls());
    static bool ForThisBackgroundThread();
};
