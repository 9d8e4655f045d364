#include <sys/socket.h>

#include "CAsyncSocket.h"
#include "Ipv4Sockaddr.h"

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

bool CAsyncSocket::SetBufferSizes(int bytes)
{
    const int fd = static_cast<int>(m_hSocket);
    const bool received = setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
    const bool sent = setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
    return received && sent;
}
