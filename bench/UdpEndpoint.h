#pragma once
// A non-blocking UDP socket bound to a loopback address (127.0.0.1 or ::1),
// closed on destruction.

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>

#include "bench/LoadGenOptions.h"

// 127.0.0.1 or ::1 at the port: where the load generator's sockets bind.
IpEndpoint LoopbackOf(bool v6, std::uint16_t port = 0);

// Whoever sent a datagram, as the system gave it, to answer them.
struct Peer {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
};

class UdpEndpoint {
public:
    // On 127.0.0.1 at a port the system chooses, or where `local` says.
    UdpEndpoint() : UdpEndpoint(LoopbackOf(false)) {}
    explicit UdpEndpoint(const IpEndpoint& local);
    ~UdpEndpoint();
    UdpEndpoint(const UdpEndpoint&) = delete;
    UdpEndpoint& operator=(const UdpEndpoint&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    std::uint16_t Port() const;

    // From here on only the target's datagrams arrive, and Send goes there.
    bool Connect(const Target& target);
    bool Send(const void* bytes, std::size_t length);
    bool SendTo(const void* bytes, std::size_t length, const Peer& to);

    // The next pending datagram's length, or -1 when none is pending.
    ssize_t Receive(void* buffer, std::size_t capacity);
    // The same, with its sender and the moment the kernel took it in
    // (CLOCK_MONOTONIC ns), so that a receiver that runs late does not
    // make it look late; the moment of the call where the kernel gives none.
    ssize_t ReceiveFromStamped(void* buffer, std::size_t capacity, Peer& from, std::uint64_t& arrivedNs);

    // True when a datagram is pending within the timeout.
    bool WaitReadable(int timeoutMs) const;

    // For socket options and calls beyond these.
    int Descriptor() const { return m_fd; }

private:
    int m_fd = -1;
};
