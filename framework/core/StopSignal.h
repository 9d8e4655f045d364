#pragma once
// A signal that one thread raises to wake another out of a pause or a wait
// for a datagram at once: a manual-reset event on Windows, an eventfd
// elsewhere. Raising is sticky until Reset.
//
// The system may refuse the event (out of handles or descriptors): such a
// signal is not usable, and whoever makes one checks before relying on it.
// A pause still lasts its time and sees a raise, if later, instead of
// spinning when its wait fails.

#include <atomic>
#include <chrono>
#include <cstdint>

class StopSignal {
public:
#ifdef _WIN32
    static constexpr std::intptr_t kNoHandle = 0;
#else
    static constexpr std::intptr_t kNoHandle = -1;
#endif

    StopSignal();
    // Takes over a waitable object made elsewhere; kNoHandle stands for one
    // the system would not make.
    explicit StopSignal(std::intptr_t handle) : m_handle(handle) {}
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // False when the system would not make the event: a raise could then
    // not wake a wait.
    bool IsUsable() const { return m_handle != kNoHandle; }

    void Raise();
    void Reset();
    bool IsRaised() const { return m_raised.load(std::memory_order_acquire); }

    // Pauses for the given number of milliseconds with sub-millisecond
    // precision; returns false if the signal cut the pause short.
    bool Pause(int milliseconds) const;
    // Pauses until the given moment, never returning before it unless the
    // signal cuts the pause short (then false). The thread sleeps all the
    // way; how soon after the moment it runs again is the system's part
    // (see ThreadTiming).
    bool PauseUntil(std::chrono::steady_clock::time_point end) const;

    // The waitable object: an event HANDLE on Windows, a file descriptor elsewhere.
    std::intptr_t NativeHandle() const { return m_handle; }

private:
    enum class Woke { Elapsed, Stopped, Interrupted, Failed };

    // The platform's part of a pause: one wait on the event for at most `wait`.
    Woke WaitOnce(std::chrono::nanoseconds wait) const;
    // What a pause does when it cannot wait on the event: sleeps a short
    // stretch (at most until `wake`), so that a raise is still seen soon.
    void SleepWithoutTheEvent(std::chrono::steady_clock::time_point wake) const;

    std::atomic<bool> m_raised{false};
    std::intptr_t m_handle;
};
