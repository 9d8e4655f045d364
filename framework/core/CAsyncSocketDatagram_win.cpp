#include <winsock2.h>

#include "framework/core/CAsyncSocket.h"
#include "framework/core/Ipv4Sockaddr.h"

int CAsyncSocket::ReceiveDatagram(void* buffer, int capacity, Ipv4Endpoint& from)
{
    sockaddr_in sender{};
    int senderLength = sizeof sender;
    // A datagram longer than the buffer fails with WSAEMSGSIZE and is
    // dropped by the system: nothing taken, like any other failure.
    const int received = recvfrom(static_cast<SOCKET>(m_hSocket), static_cast<char*>(buffer), capacity, 0,
                                  reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (received == SOCKET_ERROR)
        return -1;
    from = FromSockaddr(sender);
    return received;
}

int CAsyncSocket::SendDatagram(const void* buffer, int length, const Ipv4Endpoint& to)
{
    const sockaddr_in address = ToSockaddr(to);
    const int sent = sendto(static_cast<SOCKET>(m_hSocket), static_cast<const char*>(buffer), length, 0,
                            reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent == SOCKET_ERROR ? -1 : sent;
}

// Windows has no call for several datagrams at once: one at a time.
int CAsyncSocket::ReceiveDatagrams(DatagramSlot* slots, int count)
{
    int taken = 0;
    for (; taken < count && taken < kMostDatagramsPerCall; ++taken) {
        slots[taken].length = ReceiveDatagram(slots[taken].bytes, slots[taken].capacity, slots[taken].peer);
        if (slots[taken].length < 0)
            break;
    }
    return taken;
}

void CAsyncSocket::SendDatagrams(DatagramSlot* slots, int count)
{
    for (int i = 0; i < count; ++i)
        slots[i].sent = SendDatagram(slots[i].bytes, slots[i].length, slots[i].peer) == slots[i].length;
}

bool CAsyncSocket::SetBufferSizes(int bytes)
{
    const SOCKET s = static_cast<SOCKET>(m_hSocket);
    const char* value = reinterpret_cast<const char*>(&bytes);
    const bool received = setsockopt(s, SOL_SOCKET, SO_RCVBUF, value, sizeof bytes) == 0;
    const bool sent = setsockopt(s, SOL_SOCKET, SO_SNDBUF, value, sizeof bytes) == 0;
    return received && sent;
}
