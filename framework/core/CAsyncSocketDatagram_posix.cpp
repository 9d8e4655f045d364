#include <sys/socket.h>

#include <algorithm>

#include "framework/core/CAsyncSocket.h"
#include "framework/core/Ipv4Sockaddr.h"

int CAsyncSocket::ReceiveDatagram(void* buffer, int capacity, Ipv4Endpoint& from)
{
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    const ssize_t received = recvfrom(static_cast<int>(m_hSocket), buffer, static_cast<size_t>(capacity),
                                      MSG_TRUNC | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (received < 0 || received > capacity)
        return -1;
    from = FromSockaddr(sender);
    return static_cast<int>(received);
}

int CAsyncSocket::SendDatagram(const void* buffer, int length, const Ipv4Endpoint& to)
{
    const sockaddr_in address = ToSockaddr(to);
    return static_cast<int>(sendto(static_cast<int>(m_hSocket), buffer, static_cast<size_t>(length), MSG_DONTWAIT,
                                   reinterpret_cast<const sockaddr*>(&address), sizeof address));
}

namespace {

// The system's message headers for a run of slots, pointing into them.
struct Messages {
    mmsghdr headers[CAsyncSocket::kMostDatagramsPerCall]{};
    iovec parts[CAsyncSocket::kMostDatagramsPerCall]{};
    sockaddr_in peers[CAsyncSocket::kMostDatagramsPerCall]{};

    Messages(CAsyncSocket::DatagramSlot* slots, int count, bool sending)
    {
        for (int i = 0; i < count; ++i) {
            parts[i] = iovec{slots[i].bytes, static_cast<size_t>(sending ? slots[i].length : slots[i].capacity)};
            if (sending)
                peers[i] = ToSockaddr(slots[i].peer);
            headers[i].msg_hdr.msg_name = &peers[i];
            headers[i].msg_hdr.msg_namelen = sizeof peers[i];
            headers[i].msg_hdr.msg_iov = &parts[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
    }
};

}  // namespace

int CAsyncSocket::ReceiveDatagrams(DatagramSlot* slots, int count)
{
    count = std::min(count, kMostDatagramsPerCall);
    Messages messages(slots, count, false);
    const int taken = recvmmsg(static_cast<int>(m_hSocket), messages.headers, static_cast<unsigned>(count),
                               MSG_DONTWAIT, nullptr);
    for (int i = 0; i < taken; ++i) {
        const bool cut = (messages.headers[i].msg_hdr.msg_flags & MSG_TRUNC) != 0;
        slots[i].length = cut ? -1 : static_cast<int>(messages.headers[i].msg_len);
        slots[i].peer = FromSockaddr(messages.peers[i]);
    }
    return std::max(taken, 0);
}

void CAsyncSocket::SendDatagrams(DatagramSlot* slots, int count)
{
    for (int done = 0; done < count;) {
        const int run = std::min(count - done, kMostDatagramsPerCall);
        Messages messages(slots + done, run, true);
        const int sent = sendmmsg(static_cast<int>(m_hSocket), messages.headers, static_cast<unsigned>(run),
                                  MSG_DONTWAIT);
        if (sent <= 0) {
            slots[done++].sent = false;  // this one failed; the rest may go
            continue;
        }
        for (int i = 0; i < sent; ++i)
            slots[done + i].sent = static_cast<int>(messages.headers[i].msg_len) == slots[done + i].length;
        done += sent;
    }
}

bool CAsyncSocket::SetBufferSizes(int bytes)
{
    const int fd = static_cast<int>(m_hSocket);
    const bool received = setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
    const bool sent = setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
    return received && sent;
}
