#pragma once
// A signal that one thread raises to wake another out of a pause or a wait
// for a datagram at once: a manual-reset event on Windows, an eventfd
// elsewhere. Raising is sticky until Reset.

#include <atomic>
#include <chrono>
#include <cstdint>

class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Raise();
    void Reset();
    bool IsRaised() const { return m_raised.load(std::memory_order_acquire); }

    // Pauses for the given number of milliseconds with sub-millisecond
    // precision; returns false if the signal cut the pause short.
    bool Pause(int milliseconds) const;
    // Pauses until the given moment, never returning before it unless the
    // signal cuts the pause short (then false).
    bool PauseUntil(std::chrono::steady_clock::time_point end) const;

    // The waitable object: an event HANDLE on Windows, a file descriptor elsewhere.
    std::intptr_t NativeHandle() const { return m_handle; }

private:
    // The platform's part of a pause: sleeps until `wake` or until the
    // signal is raised (then returns false); and gives up the processor
    // once while the last stretch is waited out awake.
    bool SleepUntil(std::chrono::steady_clock::time_point wake) const;
    static void YieldOnce();

    std::atomic<bool> m_raised{false};
    std::intptr_t m_handle;
};
