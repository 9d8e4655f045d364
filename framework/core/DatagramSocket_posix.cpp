#include "framework/core/DatagramSocket.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

// The system's message headers for a run of slots, pointing into them.
template <typename Slot>
struct Messages {
    mmsghdr headers[DatagramSocket::kMostDatagramsPerCall]{};
    iovec parts[DatagramSocket::kMostDatagramsPerCall]{};
    sockaddr_storage peers[DatagramSocket::kMostDatagramsPerCall];

    Messages(Slot* slots, int count, bool v6)
    {
        for (int i = 0; i < count; ++i) {
            socklen_t length = sizeof peers[i];
            if constexpr (std::is_same_v<Slot, DatagramSocket::Outgoing>) {
                parts[i] = iovec{const_cast<unsigned char*>(slots[i].bytes),  // sendmsg only reads it
                                 static_cast<size_t>(slots[i].length)};
                length = static_cast<socklen_t>(slots[i].peer.ToSockaddr(peers[i], v6));
            } else {
                parts[i] = iovec{slots[i].bytes, static_cast<size_t>(slots[i].capacity)};
            }
            headers[i].msg_hdr.msg_name = &peers[i];
            headers[i].msg_hdr.msg_namelen = length;
            headers[i].msg_hdr.msg_iov = &parts[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
    }
};

IpEndpoint PeerOf(const sockaddr_storage& address) { return IpEndpoint::FromSockaddr(address).value_or(IpEndpoint()); }

}  // namespace

bool DatagramSocket::Open(const IpEndpoint& local, Stack stack)
{
    Close();
    sockaddr_storage address;
    const bool v6 = !local.IsV4();
    const auto length = static_cast<socklen_t>(local.ToSockaddr(address, v6));
    const int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_lastError = errno;
        return false;
    }
    int only = 1;
    if (v6 && stack == Stack::Dual) {
        int both = 0;
        if (setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &both, sizeof both) == 0)
            only = 0;
    }
    if (v6 && only)
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        m_lastError = errno;
        close(fd);
        return false;
    }
    m_handle = fd;
    m_v6 = v6;
    m_dualStack = v6 && !only;
    m_lastError = 0;
    return true;
}

void DatagramSocket::Close()
{
    if (m_handle != kInvalid)
        close(Fd(m_handle));
    m_handle = kInvalid;
}

bool DatagramSocket::Connect(const IpEndpoint& peer)
{
    sockaddr_storage address;
    const int length = peer.ToSockaddr(address, m_v6);
    if (length == 0 || connect(Fd(m_handle), reinterpret_cast<const sockaddr*>(&address), static_cast<socklen_t>(length)) != 0) {
        m_lastError = length == 0 ? EAFNOSUPPORT : errno;
        return false;
    }
    return true;
}

IpEndpoint DatagramSocket::LocalEndpoint() const
{
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (m_handle == kInvalid || getsockname(Fd(m_handle), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return IpEndpoint();
    return PeerOf(local);
}

int DatagramSocket::ReceiveDatagram(void* buffer, int capacity, IpEndpoint& from)
{
    sockaddr_storage sender{};
    socklen_t senderLength = sizeof sender;
    // MSG_TRUNC: the real length, so that a datagram longer than the
    // buffer is recognised and dropped, never cut short.
    const ssize_t received = recvfrom(Fd(m_handle), buffer, static_cast<size_t>(capacity), MSG_TRUNC | MSG_DONTWAIT,
                                      reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (received < 0 || received > capacity)
        return -1;
    from = PeerOf(sender);
    return static_cast<int>(received);
}

int DatagramSocket::SendDatagram(const void* buffer, int length, const IpEndpoint& to)
{
    sockaddr_storage address;
    const int addressLength = to.ToSockaddr(address, m_v6);
    if (addressLength == 0)
        return -1;
    return static_cast<int>(sendto(Fd(m_handle), buffer, static_cast<size_t>(length), MSG_DONTWAIT,
                                   reinterpret_cast<const sockaddr*>(&address), static_cast<socklen_t>(addressLength)));
}

int DatagramSocket::ReceiveDatagrams(Received* slots, int count)
{
    count = std::min(count, kMostDatagramsPerCall);
    Messages<Received> messages(slots, count, m_v6);
    const int taken = recvmmsg(Fd(m_handle), messages.headers, static_cast<unsigned>(count), MSG_DONTWAIT, nullptr);
    for (int i = 0; i < taken; ++i) {
        const bool cut = (messages.headers[i].msg_hdr.msg_flags & MSG_TRUNC) != 0;
        slots[i].length = cut ? -1 : static_cast<int>(messages.headers[i].msg_len);
        slots[i].peer = PeerOf(messages.peers[i]);
    }
    return std::max(taken, 0);
}

void DatagramSocket::SendDatagrams(Outgoing* slots, int count)
{
    for (int done = 0; done < count;) {
        const int run = std::min(count - done, kMostDatagramsPerCall);
        Messages<Outgoing> messages(slots + done, run, m_v6);
        const int sent = sendmmsg(Fd(m_handle), messages.headers, static_cast<unsigned>(run), MSG_DONTWAIT);
        if (sent <= 0) {
            slots[done++].sent = false;  // this one failed; the rest may go
            continue;
        }
        for (int i = 0; i < sent; ++i)
            slots[done + i].sent = static_cast<int>(messages.headers[i].msg_len) == slots[done + i].length;
        done += sent;
    }
}

bool DatagramSocket::SetBufferSizes(int bytes)
{
    const bool received = setsockopt(Fd(m_handle), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
    const bool sent = setsockopt(Fd(m_handle), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
    return received && sent;
}
