#include "framework/core/DatagramSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

#include "framework/core/WinsockHandle_win.h"

namespace {

IpEndpoint PeerOf(const sockaddr_storage& address) { return IpEndpoint::FromSockaddr(address).value_or(IpEndpoint()); }

}  // namespace

bool DatagramSocket::Open(const IpEndpoint& local, Stack stack)
{
    Close();
    sockaddr_storage address;
    const bool v6 = !local.IsV4();
    const int length = local.ToSockaddr(address, v6);
    const SOCKET s = socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        m_lastError = WSAGetLastError();
        return false;
    }
    // IPv6 sockets take only IPv6 unless told otherwise.
    DWORD only = 1;
    if (v6 && stack == Stack::Dual) {
        const DWORD both = 0;
        if (setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&both), sizeof both) == 0)
            only = 0;
    }
    u_long nonBlocking = 1;
    if (bind(s, reinterpret_cast<const sockaddr*>(&address), length) == SOCKET_ERROR ||
        ioctlsocket(s, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
        m_lastError = WSAGetLastError();
        closesocket(s);
        return false;
    }
    IgnoreConnectionResets(s);
    m_handle = static_cast<std::intptr_t>(s);
    m_v6 = v6;
    m_dualStack = v6 && !only;
    m_lastError = 0;
    return true;
}

void DatagramSocket::Close()
{
    if (m_handle != kInvalid)
        closesocket(AsSocket(m_handle));
    m_handle = kInvalid;
}

bool DatagramSocket::Connect(const IpEndpoint& peer)
{
    sockaddr_storage address;
    const int length = peer.ToSockaddr(address, m_v6);
    if (length == 0 || connect(AsSocket(m_handle), reinterpret_cast<const sockaddr*>(&address), length) == SOCKET_ERROR) {
        m_lastError = length == 0 ? WSAEAFNOSUPPORT : WSAGetLastError();
        return false;
    }
    return true;
}

IpEndpoint DatagramSocket::LocalEndpoint() const
{
    sockaddr_storage local{};
    int length = sizeof local;
    if (m_handle == kInvalid ||
        getsockname(AsSocket(m_handle), reinterpret_cast<sockaddr*>(&local), &length) == SOCKET_ERROR)
        return IpEndpoint();
    return PeerOf(local);
}

int DatagramSocket::ReceiveDatagram(void* buffer, int capacity, IpEndpoint& from)
{
    sockaddr_storage sender{};
    int senderLength = sizeof sender;
    // A datagram longer than the buffer fails with WSAEMSGSIZE and is
    // dropped by the system: nothing taken, like any other failure.
    const int received = recvfrom(AsSocket(m_handle), static_cast<char*>(buffer), capacity, 0,
                                  reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (received == SOCKET_ERROR)
        return -1;
    from = PeerOf(sender);
    return received;
}

int DatagramSocket::SendDatagram(const void* buffer, int length, const IpEndpoint& to)
{
    sockaddr_storage address;
    const int addressLength = to.ToSockaddr(address, m_v6);
    if (addressLength == 0)
        return -1;
    const int sent = sendto(AsSocket(m_handle), static_cast<const char*>(buffer), length, 0,
                            reinterpret_cast<const sockaddr*>(&address), addressLength);
    return sent == SOCKET_ERROR ? -1 : sent;
}

// Windows has no call for several datagrams at once: one at a time.
int DatagramSocket::ReceiveDatagrams(Received* slots, int count)
{
    int taken = 0;
    for (; taken < count && taken < kMostDatagramsPerCall; ++taken) {
        slots[taken].length = ReceiveDatagram(slots[taken].bytes, slots[taken].capacity, slots[taken].peer);
        if (slots[taken].length < 0)
            break;
    }
    return taken;
}

void DatagramSocket::SendDatagrams(Outgoing* slots, int count)
{
    for (int i = 0; i < count; ++i)
        slots[i].sent = SendDatagram(slots[i].bytes, slots[i].length, slots[i].peer) == slots[i].length;
}

bool DatagramSocket::SetBufferSizes(int bytes)
{
    const char* value = reinterpret_cast<const char*>(&bytes);
    const bool received = setsockopt(AsSocket(m_handle), SOL_SOCKET, SO_RCVBUF, value, sizeof bytes) == 0;
    const bool sent = setsockopt(AsSocket(m_handle), SOL_SOCKET, SO_SNDBUF, value, sizeof bytes) == 0;
    return received && sent;
}
