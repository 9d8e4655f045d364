#include "framework/core/StopSignal.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
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

StopSignal::Woke StopSignal::WaitOnce(std::chrono::nanoseconds wait) const
{
    // Timer ends to the microsecond rather than the default 50 us slack.
    static thread_local const bool slackSet = prctl(PR_SET_TIMERSLACK, 1UL) == 0;
    static_cast<void>(slackSet);
    pollfd stop{static_cast<int>(m_handle), POLLIN, 0};
    const auto ns = wait.count();
    const timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    const int ready = ppoll(&stop, 1, &timeout, nullptr);
    if (ready == 0)
        return Woke::Elapsed;
    if (ready < 0)
        return errno == EINTR ? Woke::Interrupted : Woke::Failed;
    return (stop.revents & (POLLNVAL | POLLERR)) ? Woke::Failed : Woke::Stopped;
}
