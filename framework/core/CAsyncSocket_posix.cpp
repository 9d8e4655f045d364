#include "framework/core/CAsyncSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "framework/core/SocketAddress.h"
#include "framework/core/StopSignal.h"

CAsyncSocket::~CAsyncSocket() { Close(); }

bool CAsyncSocket::Create(unsigned port, int socketType, long /*events*/, const CString& address)
{
    Close();
    const auto local = EndpointOfText(address, port);
    if (!local) {
        m_lastError = EINVAL;
        return false;
    }
    const bool v6 = !local->IsV4();
    const int fd = socket(v6 ? AF_INET6 : AF_INET, socketType | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_lastError = errno;
        return false;
    }
    // "::" takes IPv4 too where the system allows; any other IPv6 address only IPv6.
    int only = v6 && local->IsUnspecified() ? 0 : 1;
    if (v6 && setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only) != 0)
        only = 1;
    sockaddr_storage bound;
    const int length = local->ToSockaddr(bound);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&bound), static_cast<socklen_t>(length)) != 0) {
        m_lastError = errno;
        close(fd);
        return false;
    }
    m_hSocket = fd;
    m_v6 = v6;
    m_dualStack = v6 && !only;
    m_lastError = 0;
    return true;
}

void CAsyncSocket::Close()
{
    if (m_hSocket != kInvalid)
        close(static_cast<int>(m_hSocket));
    m_hSocket = kInvalid;
    m_dualStack = false;
}

int CAsyncSocket::ReceiveFrom(void* buffer, int capacity, CString& fromAddress, unsigned& fromPort, int flags)
{
    sockaddr_storage from{};
    socklen_t fromLength = sizeof from;
    // MSG_TRUNC makes the call report the datagram's real length, so one
    // longer than the buffer is recognised and discarded instead of cut short.
    const ssize_t received = recvfrom(static_cast<int>(m_hSocket), buffer, static_cast<size_t>(capacity),
                                      flags | MSG_TRUNC | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                                      &fromLength);
    if (received < 0)
        return -1;
    if (received > capacity)
        return kDatagramTooLong;
    const IpEndpoint sender = IpEndpoint::FromSockaddr(from).value_or(IpEndpoint());
    AssignAddressText(sender, fromAddress);
    fromPort = sender.Port();
    return static_cast<int>(received);
}

int CAsyncSocket::SendTo(const void* buffer, int length, unsigned port, const CString& address, int flags)
{
    const auto to = EndpointOfText(address, port);
    sockaddr_storage target;
    const int targetLength = to ? to->ToSockaddr(target, m_v6) : 0;
    if (targetLength == 0)
        return -1;
    return static_cast<int>(sendto(static_cast<int>(m_hSocket), buffer, static_cast<size_t>(length),
                                   flags | MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&target),
                                   static_cast<socklen_t>(targetLength)));
}

bool CAsyncSocket::WaitForDatagram(const StopSignal& stop)
{
    // A signal without its descriptor could never end the wait.
    if (!stop.IsUsable() || m_hSocket == kInvalid)
        return false;
    pollfd waits[2] = {{static_cast<int>(m_hSocket), POLLIN, 0},
                       {static_cast<int>(stop.NativeHandle()), POLLIN, 0}};
    while (!stop.IsRaised()) {
        const int ready = poll(waits, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        // Failed (no memory, a descriptor gone bad), or stopped.
        if (ready <= 0 || ((waits[0].revents | waits[1].revents) & POLLNVAL) || waits[1].revents)
            return false;
        // Readable, or an error the next receive reports and clears.
        return true;
    }
    return false;
}

bool CAsyncSocket::SetBufferSizes(int bytes)
{
    const int fd = static_cast<int>(m_hSocket);
    const bool received = setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
    const bool sent = setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
    return received && sent;
}

unsigned CAsyncSocket::GetLocalPort() const
{
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (m_hSocket == kInvalid || getsockname(static_cast<int>(m_hSocket), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return IpEndpoint::FromSockaddr(local).value_or(IpEndpoint()).Port();
}

CAsyncSocket::OpenFailure CAsyncSocket::ClassifyError(int code)
{
    switch (code) {
    case EADDRINUSE: return OpenFailure::AddressInUse;
    case EADDRNOTAVAIL: return OpenFailure::AddressNotAvailable;
    case EACCES: return OpenFailure::AccessDenied;
    default: return OpenFailure::Other;
    }
}

CString CAsyncSocket::SystemErrorText(int code) { return CString::FromUtf8(std::strerror(code)); }

bool AfxSocketInit() { return true; }
