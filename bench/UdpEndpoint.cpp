#include "bench/UdpEndpoint.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "bench/Probe.h"

IpEndpoint LoopbackOf(bool v6, std::uint16_t port)
{
    IpEndpoint::V6Bytes one{};
    one[15] = 1;
    return v6 ? IpEndpoint::V6(one, port) : IpEndpoint::V4(INADDR_LOOPBACK, port);
}

UdpEndpoint::UdpEndpoint(const IpEndpoint& local)
{
    const int fd = socket(local.IsV4() ? AF_INET : AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    // Room for a full window of large datagrams on both sides.
    const int bufferBytes = 1 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
    const int stamped = 1;
    setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &stamped, sizeof stamped);
    sockaddr_storage address;
    const auto length = static_cast<socklen_t>(local.ToSockaddr(address));
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        close(fd);
        return;
    }
    m_fd = fd;
}

UdpEndpoint::~UdpEndpoint()
{
    if (m_fd >= 0)
        close(m_fd);
}

std::uint16_t UdpEndpoint::Port() const
{
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (m_fd < 0 || getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return IpEndpoint::FromSockaddr(local).value_or(IpEndpoint()).Port();
}

bool UdpEndpoint::Connect(const Target& target)
{
    sockaddr_storage to;
    const auto length = static_cast<socklen_t>(target.ToSockaddr(to));
    return connect(m_fd, reinterpret_cast<const sockaddr*>(&to), length) == 0;
}

bool UdpEndpoint::Send(const void* bytes, std::size_t length)
{
    return send(m_fd, bytes, length, 0) == static_cast<ssize_t>(length);
}

bool UdpEndpoint::SendTo(const void* bytes, std::size_t length, const Peer& to)
{
    return sendto(m_fd, bytes, length, 0, reinterpret_cast<const sockaddr*>(&to.address), to.length) ==
           static_cast<ssize_t>(length);
}

ssize_t UdpEndpoint::Receive(void* buffer, std::size_t capacity)
{
    // A refused earlier send shows up here as an error: nothing taken.
    return recv(m_fd, buffer, capacity, MSG_DONTWAIT);
}

ssize_t UdpEndpoint::ReceiveFromStamped(void* buffer, std::size_t capacity, Peer& from, std::uint64_t& arrivedNs)
{
    iovec bytes{buffer, capacity};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message{};
    message.msg_name = &from.address;
    message.msg_namelen = sizeof from.address;
    message.msg_iov = &bytes;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t length = recvmsg(m_fd, &message, MSG_DONTWAIT);
    arrivedNs = MonotonicNs();
    if (length < 0)
        return length;
    from.length = message.msg_namelen;
    for (cmsghdr* part = CMSG_FIRSTHDR(&message); part; part = CMSG_NXTHDR(&message, part)) {
        if (part->cmsg_level != SOL_SOCKET || part->cmsg_type != SCM_TIMESTAMPNS)
            continue;
        // The kernel stamps in CLOCK_REALTIME: carried over by the datagram's age.
        timespec stamp{};
        std::memcpy(&stamp, CMSG_DATA(part), sizeof stamp);
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        const auto ageNs = (now.tv_sec - stamp.tv_sec) * 1000000000LL + (now.tv_nsec - stamp.tv_nsec);
        if (ageNs >= 0 && static_cast<std::uint64_t>(ageNs) < arrivedNs)
            arrivedNs -= static_cast<std::uint64_t>(ageNs);
    }
    return length;
}

bool UdpEndpoint::WaitReadable(int timeoutMs) const
{
    pollfd wait{m_fd, POLLIN, 0};
    return poll(&wait, 1, timeoutMs) > 0;
}
