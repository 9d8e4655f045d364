#include "framework/core/StopSignal.h"

#include <algorithm>
#include <thread>

namespace {

// How soon a pause that cannot wait on the event looks at the flag again.
constexpr std::chrono::milliseconds kLookWithoutTheEvent{10};

}  // namespace

bool StopSignal::Pause(int milliseconds) const
{
    return PauseUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
}

bool StopSignal::PauseUntil(std::chrono::steady_clock::time_point end) const
{
    // Asleep to the end: a thread that must wake on time asks the system
    // for that (ThreadTiming) rather than waiting out the last stretch
    // awake, which beside a busy program costs the whole turn it yields.
    using Clock = std::chrono::steady_clock;
    while (!IsRaised()) {
        const auto left = end - Clock::now();
        if (left <= Clock::duration::zero())
            return true;
        switch (IsUsable() ? WaitOnce(left) : Woke::Failed) {
        case Woke::Elapsed:
        case Woke::Interrupted:
            // Looked at again: a timer may end a hair before the clock does.
            break;
        case Woke::Stopped:
            return false;
        case Woke::Failed:
            // A wait that fails (no event, a handle gone bad, the system
            // short of memory) must not turn the pause into a spin.
            SleepWithoutTheEvent(end);
            break;
        }
    }
    return false;
}

void StopSignal::SleepWithoutTheEvent(std::chrono::steady_clock::time_point wake) const
{
    std::this_thread::sleep_until(std::min(wake, std::chrono::steady_clock::now() + kLookWithoutTheEvent));
}
