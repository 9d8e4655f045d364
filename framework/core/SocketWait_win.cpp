#include "framework/core/SocketWait.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>

#include "framework/core/CAsyncSocket.h"
#include "framework/core/DatagramSocket.h"
#include "framework/core/StopSignal.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// With this few sockets, trying each one costs less than asking which are ready.
constexpr size_t kTryEachUpTo = 2;

// What one wait is given: how many of its handles (the timer is the last)
// and its timeout.
struct TimedWait {
    DWORD handles = 2;
    DWORD timeout = INFINITE;
};

// Sets the timer for the deadline, rounded up to its 100 ns units so that
// it does not end before; without a timer, whole milliseconds rounded up.
TimedWait ArmFor(HANDLE timer, const SocketWait::Deadline& deadline)
{
    if (!deadline)
        return {};
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(*deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return {2, 0};
    LARGE_INTEGER due;
    due.QuadPart = -((left.count() + 99) / 100);  // relative, in 100 ns units
    if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE))
        return {3, INFINITE};
    return {2, static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(left).count())};
}

}  // namespace

struct SocketWait::Platform {
    HANDLE readable = nullptr;  // auto-reset, shared by every watched socket
    HANDLE timer = nullptr;
    std::vector<WSAPOLLFD> polls;
    std::vector<std::uint64_t> keys;
};

SocketWait::SocketWait(const StopSignal& signal) : m_signal(signal), m_platform(std::make_unique<Platform>())
{
    m_platform->readable = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_platform->timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (!m_platform->timer)  // before Windows 10 1803: the system tick's precision
        m_platform->timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
}

SocketWait::~SocketWait()
{
    if (m_platform->readable)
        CloseHandle(m_platform->readable);
    if (m_platform->timer)
        CloseHandle(m_platform->timer);
}

bool SocketWait::IsUsable() const { return m_platform->readable && m_platform->timer; }

bool SocketWait::AddHandle(std::intptr_t handle, std::uint64_t key)
{
    const SOCKET s = static_cast<SOCKET>(handle);
    if (WSAEventSelect(s, m_platform->readable, FD_READ) == SOCKET_ERROR)
        return false;
    m_platform->polls.push_back(WSAPOLLFD{s, POLLRDNORM, 0});
    m_platform->keys.push_back(key);
    // A datagram that came before the switch to the shared event.
    SetEvent(m_platform->readable);
    return true;
}

void SocketWait::RemoveHandle(std::intptr_t handle)
{
    const SOCKET s = static_cast<SOCKET>(handle);
    auto& polls = m_platform->polls;
    for (size_t i = 0; i < polls.size(); ++i) {
        if (polls[i].fd != s)
            continue;
        WSAEventSelect(s, nullptr, 0);
        polls[i] = polls.back();
        polls.pop_back();
        m_platform->keys[i] = m_platform->keys.back();
        m_platform->keys.pop_back();
        return;
    }
}

SocketWait::Woken SocketWait::Wait(Deadline deadline, std::vector<std::uint64_t>& ready)
{
    ready.clear();
    if (m_signal.IsRaised())
        return Woken::Signal;
    const HANDLE handles[] = {reinterpret_cast<HANDLE>(m_signal.NativeHandle()), m_platform->readable,
                              m_platform->timer};
    DWORD woke = WAIT_TIMEOUT;
    do {
        const TimedWait wait = ArmFor(m_platform->timer, deadline);
        woke = WaitForMultipleObjects(wait.handles, handles, FALSE, wait.timeout);
        // A timer may end a hair before the clock does: then wait on.
    } while (deadline && (woke == WAIT_OBJECT_0 + 2 || woke == WAIT_TIMEOUT) &&
             std::chrono::steady_clock::now() < *deadline);
    if (woke == WAIT_OBJECT_0 || m_signal.IsRaised())
        return Woken::Signal;
    if (woke != WAIT_OBJECT_0 + 1)
        return Woken::Deadline;
    auto& polls = m_platform->polls;
    if (polls.size() <= kTryEachUpTo) {
        ready = m_platform->keys;
    } else if (WSAPoll(polls.data(), static_cast<ULONG>(polls.size()), 0) > 0) {
        for (size_t i = 0; i < polls.size(); ++i)
            if (polls[i].revents != 0)
                ready.push_back(m_platform->keys[i]);
    }
    return ready.empty() ? Woken::Deadline : Woken::Sockets;
}

bool SocketWait::Add(const CAsyncSocket& socket, std::uint64_t key) { return AddHandle(socket.NativeSocket(), key); }
void SocketWait::Remove(const CAsyncSocket& socket) { RemoveHandle(socket.NativeSocket()); }
bool SocketWait::Add(const DatagramSocket& socket, std::uint64_t key) { return AddHandle(socket.NativeSocket(), key); }
void SocketWait::Remove(const DatagramSocket& socket) { RemoveHandle(socket.NativeSocket()); }
