#include "StopSignal.h"

#include <algorithm>

namespace {

// How late a timer's end may come on a busy machine: about a millisecond on
// Linux, up to two under Wine.
#ifdef _WIN32
constexpr std::chrono::milliseconds kLongestAwakeTail{2};
#else
constexpr std::chrono::milliseconds kLongestAwakeTail{1};
#endif

}  // namespace

bool StopSignal::Pause(int milliseconds) const
{
    using Clock = std::chrono::steady_clock;
    // The last stretch (at most a quarter of the pause) is waited out awake,
    // watching the raised flag, so that a late timer does not make the
    // pause late.
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    const auto awakeTail = std::min<Clock::duration>(kLongestAwakeTail, std::chrono::microseconds(250) * milliseconds);
    if (deadline - awakeTail > Clock::now() && !SleepUntil(deadline - awakeTail))
        return false;
    while (!IsRaised() && Clock::now() < deadline)
        YieldOnce();
    return !IsRaised();
}
