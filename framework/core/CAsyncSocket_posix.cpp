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

#include "framework/core/Ipv4Text.h"
#include "framework/core/SocketAddress.h"
#include "framework/core/StopSignal.h"

CAsyncSocket::~CAsyncSocket() { Close(); }

bool CAsyncSocket::Create(unsigned port, int socketType, long /*events*/, const CString& address)
{
    Close();
    const auto local = SocketAddressOf(address, port);
    if (!local) {
        m_lastError = EINVAL;
        return false;
    }
    const int fd = socket(AF_INET, socketType | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_lastError = errno;
        return false;
    }
    if (bind(fd, reinterpret_cast<const sockaddr*>(&*local), sizeof *local) != 0) {
        m_lastError = errno;
        close(fd);
        return false;
    }
    m_hSocket = fd;
    m_lastError = 0;
    return true;
}

void CAsyncSocket::Close()
{
    if (m_hSocket != kInvalid)
        close(static_cast<int>(m_hSocket));
    m_hSocket = kInvalid;
}

int CAsyncSocket::ReceiveFrom(void* buffer, int capacity, CString& fromAddress, unsigned& fromPort, int flags)
{
    sockaddr_in from{};
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
    Ipv4TextBuffer text;
    fromAddress.Assign(FormatIpv4(ntohl(from.sin_addr.s_addr), text));
    fromPort = ntohs(from.sin_port);
    return static_cast<int>(received);
}

int CAsyncSocket::SendTo(const void* buffer, int length, unsigned port, const CString& address, int flags)
{
    const auto to = SocketAddressOf(address, port);
    if (!to)
        return -1;
    return static_cast<int>(sendto(static_cast<int>(m_hSocket), buffer, static_cast<size_t>(length),
                                   flags | MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&*to), sizeof *to));
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

unsigned CAsyncSocket::GetLocalPort() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (m_hSocket == kInvalid || getsockname(static_cast<int>(m_hSocket), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
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
