#include "StopSignal.h"

#include <windows.h>

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

    HANDLE Arm(int milliseconds)
    {
        LARGE_INTEGER due;
        due.QuadPart = -10000LL * milliseconds;  // relative, in 100 ns units
        return m_timer && SetWaitableTimer(m_timer, &due, 0, nullptr, nullptr, FALSE) ? m_timer : nullptr;
    }
    bool Coarse() const { return m_coarse; }

private:
    HANDLE m_timer = nullptr;
    bool m_coarse = false;
};

// Timer resolution changes are per call and balanced; timeBeginPeriod lives
// in winmm, which we load only when the coarse path needs it.
class CoarseTimerResolution {
public:
    explicit CoarseTimerResolution(bool wanted)
    {
        if (!wanted)
            return;
        if (HMODULE winmm = LoadLibraryW(L"winmm.dll")) {
            m_module = winmm;
            m_begin = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(winmm, "timeBeginPeriod")));
            m_end = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(winmm, "timeEndPeriod")));
            if (m_begin && m_end)
                m_begin(1);
        }
    }
    ~CoarseTimerResolution()
    {
        if (m_begin && m_end)
            m_end(1);
        if (m_module)
            FreeLibrary(m_module);
    }
    CoarseTimerResolution(const CoarseTimerResolution&) = delete;
    CoarseTimerResolution& operator=(const CoarseTimerResolution&) = delete;

private:
    using Fn = UINT(WINAPI*)(UINT);
    HMODULE m_module = nullptr;
    Fn m_begin = nullptr;
    Fn m_end = nullptr;
};

}  // namespace

StopSignal::StopSignal()
    : m_handle(reinterpret_cast<std::intptr_t>(CreateEventW(nullptr, TRUE, FALSE, nullptr)))
{
}

StopSignal::~StopSignal()
{
    if (m_handle)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

void StopSignal::Raise()
{
    m_raised.store(true, std::memory_order_release);
    SetEvent(reinterpret_cast<HANDLE>(m_handle));
}

void StopSignal::Reset()
{
    ResetEvent(reinterpret_cast<HANDLE>(m_handle));
    m_raised.store(false, std::memory_order_release);
}

bool StopSignal::Pause(int milliseconds) const
{
    // One timer per pausing thread, made on its first pause.
    thread_local PauseTimer timer;
    const HANDLE stop = reinterpret_cast<HANDLE>(m_handle);
    const HANDLE due = timer.Arm(milliseconds);
    if (!due)
        return WaitForSingleObject(stop, static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0;
    CoarseTimerResolution resolution(timer.Coarse());
    const HANDLE handles[] = {stop, due};
    return WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0;
}
