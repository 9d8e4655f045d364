#include "framework/core/ThreadTiming.h"

#include <windows.h>

namespace {

// From the Windows 10 SDK, which the cross-compiler's headers lack.
constexpr int kThreadPowerThrottling = 3;  // THREAD_INFORMATION_CLASS
constexpr ULONG kPowerThrottlingVersion = 1;
constexpr ULONG kThrottleExecutionSpeed = 0x1;
struct PowerThrottlingState {
    ULONG version;
    ULONG controlMask;
    ULONG stateMask;
};

// Opts the thread out of running slowly to save power (Windows 10 1709 and
// later decide that by themselves, mostly for windows in the background).
bool NeverThrottled()
{
    using SetThreadInformationFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
    // Windows 8 and later: looked up, so that the program still starts on older ones.
    static const auto setThreadInformation = reinterpret_cast<SetThreadInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadInformation")));
    if (!setThreadInformation)
        return false;
    PowerThrottlingState state{kPowerThrottlingVersion, kThrottleExecutionSpeed, 0};
    return setThreadInformation(GetCurrentThread(), kThreadPowerThrottling, &state, sizeof state) != FALSE;
}

// Windows' scheduler has no turns of a chosen length.
bool ShortTurns() { return false; }

bool TimeCritical()
{
    const DWORD processClass = GetPriorityClass(GetCurrentProcess());
    if (processClass == IDLE_PRIORITY_CLASS || processClass == BELOW_NORMAL_PRIORITY_CLASS)
        return false;  // started to give way: it keeps doing so
    const int now = GetThreadPriority(GetCurrentThread());
    if (now == THREAD_PRIORITY_TIME_CRITICAL)
        return true;
    if (now != THREAD_PRIORITY_NORMAL)
        return false;  // someone else's choice
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != FALSE;
}

// Undoes TimeCritical.
bool BackToNormal()
{
    if (GetThreadPriority(GetCurrentThread()) != THREAD_PRIORITY_TIME_CRITICAL)
        return false;
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL) != FALSE;
}

}  // namespace

const ThreadTiming::Calls& ThreadTiming::SystemCalls()
{
    static const Calls calls{&NeverThrottled, &ShortTurns, &TimeCritical, &BackToNormal};
    return calls;
}

// A thread woken here runs under the system's own rules; nothing is asked.
bool ThreadTiming::ForThisBackgroundThread() { return false; }
