#pragma once
// The link engine's one wait: until one of many sockets may hold a
// datagram, a deadline passes (nanosecond precision), or a signal is raised,
// whichever comes first. Without a deadline it waits with no timeout at all,
// so an idle engine costs nothing. Linux: epoll with a nanosecond timeout;
// Windows: one event shared by all the sockets, a high-resolution waitable
// timer and the signal's event (three handles, however many sockets), then
// a poll with no timeout to find which sockets are ready. It sleeps all the
// way to a deadline, never spinning or yielding, so that a thread at a
// raised priority (ThreadTiming) may use it.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class CAsyncSocket;
class DatagramSocket;
class StopSignal;

class SocketWait {
public:
    using Deadline = std::optional<std::chrono::steady_clock::time_point>;
    enum class Woken { Sockets, Deadline, Signal };

    explicit SocketWait(const StopSignal& signal);
    ~SocketWait();
    SocketWait(const SocketWait&) = delete;
    SocketWait& operator=(const SocketWait&) = delete;

    // False when the system would not give what the wait needs.
    bool IsUsable() const;

    // Watches an open socket; its key comes back from Wait when it may hold
    // a datagram. On Windows the socket's own read event is replaced by the
    // shared one, so CAsyncSocket::WaitForDatagram no longer serves it.
    bool Add(const CAsyncSocket& socket, std::uint64_t key);
    bool Add(const DatagramSocket& socket, std::uint64_t key);
    // Stops watching; call before the socket is closed.
    void Remove(const CAsyncSocket& socket);
    void Remove(const DatagramSocket& socket);

    // Fills `ready` with the keys of sockets that may hold datagrams (a key
    // may turn out to have none). A socket keeps being reported while it
    // holds datagrams, so a caller may take only some of them each time.
    Woken Wait(Deadline deadline, std::vector<std::uint64_t>& ready);

private:
    bool AddHandle(std::intptr_t handle, std::uint64_t key);
    void RemoveHandle(std::intptr_t handle);

    struct Platform;
    const StopSignal& m_signal;
    std::unique_ptr<Platform> m_platform;
};
