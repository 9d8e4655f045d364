#include "framework/core/ThreadTiming.h"

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

namespace {

#ifdef SYS_sched_setattr

// The kernel's struct sched_attr in its first form, which every kernel with
// the call takes; the C library has no wrapper for it.
struct SchedulerAttributes {
    std::uint32_t size = sizeof(SchedulerAttributes);
    std::uint32_t policy = SCHED_OTHER;
    std::uint64_t flags = 0;
    std::int32_t nice = 0;
    std::uint32_t priority = 0;
    std::uint64_t runtime = 0;  // for SCHED_OTHER: the slice, in ns
    std::uint64_t deadline = 0;
    std::uint64_t period = 0;
};
static_assert(sizeof(SchedulerAttributes) == 48);

constexpr std::uint64_t kResetOnFork = 0x01;
// The shortest slice the kernel grants.
constexpr std::uint64_t kShortSliceNs = 100'000;

bool ReadAttributes(SchedulerAttributes& attributes)
{
    return syscall(SYS_sched_getattr, 0, &attributes, sizeof attributes, 0) == 0;
}

bool WriteAttributes(const SchedulerAttributes& attributes)
{
    return syscall(SYS_sched_setattr, 0, &attributes, 0) == 0;
}

bool AskForAShortSlice()
{
    SchedulerAttributes now;
    if (!ReadAttributes(now) || now.policy != SCHED_OTHER)
        return false;
    SchedulerAttributes wanted;
    wanted.nice = now.nice;  // the call sets nice too: keep the thread's own
    wanted.runtime = kShortSliceNs;
    if (!WriteAttributes(wanted))
        return false;
    // Kernels before 6.12 accept the call but ignore the slice, and then
    // report none.
    SchedulerAttributes after;
    return ReadAttributes(after) && after.runtime == kShortSliceNs;
}

bool AskForRealTime()
{
    SchedulerAttributes now;
    if (!ReadAttributes(now))
        return false;
    if (now.policy == SCHED_FIFO || now.policy == SCHED_RR)
        return true;  // the user's own real-time priority stays
    if (now.policy != SCHED_OTHER || now.nice > 0)
        return false;  // started to give way: it keeps doing so
    SchedulerAttributes wanted;
    wanted.policy = SCHED_FIFO;
    wanted.priority = 1;  // the lowest: ahead of every ordinary thread, behind the system's own
    wanted.flags = kResetOnFork;
    return WriteAttributes(wanted);
}

// Undoes AskForRealTime: its SCHED_FIFO 1 with reset-on-fork, which a
// user's own choice of real time is not likely to match, goes back to
// ordinary turns.
bool BackFromRealTime()
{
    SchedulerAttributes now;
    if (!ReadAttributes(now) || now.policy != SCHED_FIFO || now.priority != 1 || !(now.flags & kResetOnFork))
        return false;
    return WriteAttributes(SchedulerAttributes{});
}

bool AskForBatchTurns()
{
    SchedulerAttributes now;
    if (!ReadAttributes(now) || now.policy != SCHED_OTHER)
        return false;
    SchedulerAttributes wanted;
    wanted.policy = SCHED_BATCH;
    wanted.nice = now.nice;
    return WriteAttributes(wanted);
}

#else

bool AskForAShortSlice() { return false; }
bool AskForRealTime() { return false; }
bool BackFromRealTime() { return false; }
bool AskForBatchTurns() { return false; }

#endif

// Power throttling is a Windows matter.
bool NeverThrottled() { return false; }

}  // namespace

bool ThreadTiming::ForThisBackgroundThread() { return AskForBatchTurns(); }

const ThreadTiming::Calls& ThreadTiming::SystemCalls()
{
    static const Calls calls{&NeverThrottled, &AskForAShortSlice, &AskForRealTime, &BackFromRealTime};
    return calls;
}
