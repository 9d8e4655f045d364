#include "framework/core/StopSignal.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <optional>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// A waitable timer that keeps sub-millisecond precision where the system
// offers it (Windows 10 1803 and later); elsewhere an ordinary one, with
// the system timer raised to 1 ms for the length of the pause.
class PauseTimer {
public:
    PauseTimer()
    {
        m_timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                         TIMER_ALL_ACCESS);
        if (!m_timer) {
            m_coarse = true;
            m_timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
        }
    }
    ~PauseTimer()
    {
        if (m_timer)
            CloseHandle(m_timer);
    }
    PauseTimer(const PauseTimer&) = delete;
    PauseTimer& operator=(const PauseTimer&) = delete;

    HANDLE Arm(std::chrono::nanoseconds wait)
    {
        LARGE_INTEGER due;
        due.QuadPart = -std::max<LONGLONG>(1, wait.count() / 100);  // relative, in 100 ns units
        return m_timer && SetWaitableTimer(m_timer, &due, 0, nullptr, nullptr, FALSE) ? m_timer : nullptr;
    }
    bool Coarse() const { return m_coarse; }

private:
    HANDLE m_timer = nullptr;
    bool m_coarse = false;
};

// The system timer raised to 1 ms while one pause lasts, for timers without
// high resolution (which otherwise end on the default 15.6 ms tick). The
// change is balanced per pause, so an idle relay leaves the system timer
// alone. timeBeginPeriod lives in winmm, loaded the first time a pause
// needs it and kept for the rest of the process.
class FinerSystemTimer {
public:
    FinerSystemTimer() : m_calls(Calls::Get())
    {
        if (m_calls.Usable())
            m_calls.begin(1);
    }
    ~FinerSystemTimer()
    {
        if (m_calls.Usable())
            m_calls.end(1);
    }
    FinerSystemTimer(const FinerSystemTimer&) = delete;
    FinerSystemTimer& operator=(const FinerSystemTimer&) = delete;

private:
    using Fn = UINT(WINAPI*)(UINT);
    struct Calls {
        Fn begin = nullptr;
        Fn end = nullptr;
        bool Usable() const { return begin && end; }

        static const Calls& Get()
        {
            static const Calls calls = Load();
            return calls;
        }
        static Calls Load()
        {
            Calls calls;
            if (HMODULE winmm = LoadLibraryW(L"winmm.dll")) {
                calls.begin = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(winmm, "timeBeginPeriod")));
                calls.end = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(winmm, "timeEndPeriod")));
            }
            return calls;
        }
    };
    const Calls& m_calls;
};

}  // namespace

StopSignal::StopSignal()
    : m_handle(reinterpret_cast<std::intptr_t>(CreateEventW(nullptr, TRUE, FALSE, nullptr)))
{
}

StopSignal::~StopSignal()
{
    if (IsUsable())
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

void StopSignal::Raise()
{
    m_raised.store(true, std::memory_order_release);
    if (IsUsable())
        SetEvent(reinterpret_cast<HANDLE>(m_handle));
}

void StopSignal::Reset()
{
    if (IsUsable())
        ResetEvent(reinterpret_cast<HANDLE>(m_handle));
    m_raised.store(false, std::memory_order_release);
}

StopSignal::Woke StopSignal::WaitOnce(std::chrono::nanoseconds wait) const
{
    const HANDLE stop = reinterpret_cast<HANDLE>(m_handle);
    // One timer per pausing thread, made on its first pause.
    thread_local PauseTimer timer;
    // Raised before the timer is armed, so that its end is seen on a 1 ms tick.
    std::optional<FinerSystemTimer> finer;
    if (timer.Coarse())
        finer.emplace();
    const HANDLE due = timer.Arm(wait);
    DWORD woke = WAIT_FAILED;
    if (!due) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
        woke = WaitForSingleObject(stop, static_cast<DWORD>(ms));
        if (woke == WAIT_TIMEOUT)
            return Woke::Elapsed;
    } else {
        const HANDLE handles[] = {stop, due};
        woke = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0 + 1)
            return Woke::Elapsed;
    }
    return woke == WAIT_OBJECT_0 ? Woke::Stopped : Woke::Failed;
}
