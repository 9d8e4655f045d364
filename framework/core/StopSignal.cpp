#include "StopSignal.h"

#include <algorithm>
#include <thread>

namespace {

// How late a timer's end may come on a busy machine: about a millisecond on
// Linux, up to two under Wine.
#ifdef _WIN32
constexpr std::chrono::milliseconds kLongestAwakeTail{2};
#else
constexpr std::chrono::milliseconds kLongestAwakeTail{1};
#endif

// How soon a pause that cannot wait on the event looks at the flag again.
constexpr std::chrono::milliseconds kLookWithoutTheEvent{10};

}  // namespace

bool StopSignal::Pause(int milliseconds) const
{
    return PauseUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
}

bool StopSignal::PauseUntil(std::chrono::steady_clock::time_point end) const
{
    using Clock = std::chrono::steady_clock;
    // The last stretch (at most a quarter of the pause) is waited out awake,
    // watching the raised flag, so that a late timer does not make the
    // pause late.
    const auto awakeFrom = end - std::min<Clock::duration>(kLongestAwakeTail, (end - Clock::now()) / 4);
    if (awakeFrom > Clock::now() && !SleepUntil(awakeFrom))
        return false;
    while (!IsRaised() && Clock::now() < end)
        YieldOnce();
    return !IsRaised();
}

bool StopSignal::SleepUntil(std::chrono::steady_clock::time_point wake) const
{
    using Clock = std::chrono::steady_clock;
    while (!IsRaised()) {
        const auto left = wake - Clock::now();
        if (left <= Clock::duration::zero())
            return true;
        switch (IsUsable() ? WaitOnce(left) : Woke::Failed) {
        case Woke::Elapsed:
            return true;
        case Woke::Stopped:
            return false;
        case Woke::Interrupted:
            break;
        case Woke::Failed:
            // A wait that fails (no event, a handle gone bad, the system
            // short of memory) must not turn the pause into a spin.
            SleepWithoutTheEvent(wake);
            break;
        }
    }
    return false;
}

void StopSignal::SleepWithoutTheEvent(std::chrono::steady_clock::time_point wake) const
{
    std::this_thread::sleep_until(std::min(wake, std::chrono::steady_clock::now() + kLookWithoutTheEvent));
}
