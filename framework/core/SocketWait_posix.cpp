#include "framework/core/SocketWait.h"

#include <sys/epoll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "framework/core/CAsyncSocket.h"
#include "framework/core/DatagramSocket.h"
#include "framework/core/StopSignal.h"

namespace {

constexpr std::uint64_t kSignalKey = ~std::uint64_t{0};
constexpr int kEventsPerWait = 64;

// The kernel may otherwise end a timed wait up to 50 us late; once per thread.
void AskForPreciseTimers()
{
    thread_local const bool asked = prctl(PR_SET_TIMERSLACK, 1UL) == 0;
    (void)asked;
}

int WaitForEvents(int epoll, epoll_event* events, const SocketWait::Deadline& deadline)
{
    if (!deadline)
        return epoll_wait(epoll, events, kEventsPerWait, -1);
    const auto left = std::max(std::chrono::nanoseconds::zero(),
                               std::chrono::duration_cast<std::chrono::nanoseconds>(*deadline - std::chrono::steady_clock::now()));
    const timespec timeout{static_cast<time_t>(left.count() / 1000000000), static_cast<long>(left.count() % 1000000000)};
    const int woken = epoll_pwait2(epoll, events, kEventsPerWait, &timeout, nullptr);
    if (woken >= 0 || errno != ENOSYS)
        return woken;
    // Kernels before 5.11: whole milliseconds, rounded up so never early.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return epoll_wait(epoll, events, kEventsPerWait, static_cast<int>(std::min<long long>(ms, 1 << 30)));
}

}  // namespace

struct SocketWait::Platform {
    int epoll = -1;
};

SocketWait::SocketWait(const StopSignal& signal) : m_signal(signal), m_platform(std::make_unique<Platform>())
{
    m_platform->epoll = epoll_create1(EPOLL_CLOEXEC);
    epoll_event watch{};
    watch.events = EPOLLIN;
    watch.data.u64 = kSignalKey;
    if (m_platform->epoll >= 0 &&
        epoll_ctl(m_platform->epoll, EPOLL_CTL_ADD, static_cast<int>(signal.NativeHandle()), &watch) != 0) {
        close(m_platform->epoll);
        m_platform->epoll = -1;
    }
}

SocketWait::~SocketWait()
{
    if (m_platform->epoll >= 0)
        close(m_platform->epoll);
}

bool SocketWait::IsUsable() const { return m_platform->epoll >= 0; }

bool SocketWait::AddHandle(std::intptr_t handle, std::uint64_t key)
{
    epoll_event watch{};
    watch.events = EPOLLIN;
    watch.data.u64 = key;
    return epoll_ctl(m_platform->epoll, EPOLL_CTL_ADD, static_cast<int>(handle), &watch) == 0;
}

void SocketWait::RemoveHandle(std::intptr_t handle)
{
    epoll_ctl(m_platform->epoll, EPOLL_CTL_DEL, static_cast<int>(handle), nullptr);
}

SocketWait::Woken SocketWait::Wait(Deadline deadline, std::vector<std::uint64_t>& ready)
{
    ready.clear();
    if (m_signal.IsRaised())
        return Woken::Signal;
    AskForPreciseTimers();
    epoll_event events[kEventsPerWait];
    const int woken = WaitForEvents(m_platform->epoll, events, deadline);
    bool signalled = false;
    for (int i = 0; i < woken; ++i) {
        if (events[i].data.u64 == kSignalKey)
            signalled = true;
        else
            ready.push_back(events[i].data.u64);
    }
    if (signalled || m_signal.IsRaised())
        return Woken::Signal;
    return ready.empty() ? Woken::Deadline : Woken::Sockets;
}

bool SocketWait::Add(const CAsyncSocket& socket, std::uint64_t key) { return AddHandle(socket.NativeSocket(), key); }
void SocketWait::Remove(const CAsyncSocket& socket) { RemoveHandle(socket.NativeSocket()); }
bool SocketWait::Add(const DatagramSocket& socket, std::uint64_t key) { return AddHandle(socket.NativeSocket(), key); }
void SocketWait::Remove(const DatagramSocket& socket) { RemoveHandle(socket.NativeSocket()); }
