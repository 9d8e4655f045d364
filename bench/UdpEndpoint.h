#pragma once
// A non-blocking UDP socket bound to 127.0.0.1, closed on destruction.

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <sys/types.h>

#include "bench/LoadGenOptions.h"

sockaddr_in LoopbackAddress(std::uint32_t hostOrderAddress, std::uint16_t port);

class UdpEndpoint {
public:
    explicit UdpEndpoint(std::uint16_t port = 0);
    ~UdpEndpoint();
    UdpEndpoint(const UdpEndpoint&) = delete;
    UdpEndpoint& operator=(const UdpEndpoint&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    std::uint16_t Port() const;

    // From here on only the target's datagrams arrive, and Send goes there.
    bool Connect(const Target& target);
    bool Send(const void* bytes, std::size_t length);
    bool SendTo(const void* bytes, std::size_t length, const sockaddr_in& to);

    // The next pending datagram's length, or -1 when none is pending.
    ssize_t Receive(void* buffer, std::size_t capacity);
    ssize_t ReceiveFrom(void* buffer, std::size_t capacity, sockaddr_in& from);
    // The same, with the moment the kernel took the datagram in
    // (CLOCK_MONOTONIC ns), so that a receiver that runs late does not
    // make it look late; the moment of the call where the kernel gives none.
    ssize_t ReceiveFromStamped(void* buffer, std::size_t capacity, sockaddr_in& from, std::uint64_t& arrivedNs);

    // True when a datagram is pending within the timeout.
    bool WaitReadable(int timeoutMs) const;

    // For socket options and calls beyond these.
    int Descriptor() const { return m_fd; }

private:
    int m_fd = -1;
};
