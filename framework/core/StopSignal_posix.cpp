#include "StopSignal.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <sched.h>
#include <sys/prctl.h>

StopSignal::StopSignal() : m_handle(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

StopSignal::~StopSignal()
{
    if (IsUsable())
        close(static_cast<int>(m_handle));
}

void StopSignal::Raise()
{
    m_raised.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    if (IsUsable())
        (void)!write(static_cast<int>(m_handle), &one, sizeof one);
}

void StopSignal::Reset()
{
    std::uint64_t value = 0;
    if (IsUsable())
        (void)!read(static_cast<int>(m_handle), &value, sizeof value);
    m_raised.store(false, std::memory_order_release);
}

bool StopSignal::SleepUntil(std::chrono::steady_clock::time_point wake) const
{
    using Clock = std::chrono::steady_clock;
    prctl(PR_SET_TIMERSLACK, 1UL);
    pollfd stop{static_cast<int>(m_handle), POLLIN, 0};
    while (!IsRaised()) {
        const auto left = wake - Clock::now();
        if (left <= Clock::duration::zero())
            return true;
        if (!IsUsable()) {
            SleepWithoutTheEvent(wake);
            continue;
        }
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        const int ready = ppoll(&stop, 1, &timeout, nullptr);
        if (ready > 0 && (stop.revents & POLLIN))
            return false;
        // A wait that fails (a descriptor gone bad, the system short of
        // memory) must not turn the pause into a spin.
        if ((ready < 0 && errno != EINTR) || (ready > 0 && (stop.revents & (POLLNVAL | POLLERR))))
            SleepWithoutTheEvent(wake);
    }
    return false;
}

void StopSignal::YieldOnce() { sched_yield(); }
