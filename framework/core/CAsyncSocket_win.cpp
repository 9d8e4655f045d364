#include "framework/core/CAsyncSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

#include "framework/core/WinsockHandle_win.h"
#include <windows.h>

#include "framework/core/SocketAddress.h"
#include "framework/core/StopSignal.h"

namespace {

// The sockets library, started on first use and cleaned up at process end.
class SocketLibrary {
public:
    SocketLibrary() { m_started = WSAStartup(MAKEWORD(2, 2), &m_data) == 0; }
    ~SocketLibrary()
    {
        if (m_started)
            WSACleanup();
    }
    bool Started() const { return m_started; }

private:
    WSADATA m_data{};
    bool m_started = false;
};

}  // namespace

bool AfxSocketInit()
{
    static SocketLibrary library;
    return library.Started();
}

CAsyncSocket::~CAsyncSocket() { Close(); }

bool CAsyncSocket::Create(unsigned port, int socketType, long events, const CString& address)
{
    Close();
    const auto local = EndpointOfText(address, port);
    if (!local) {
        m_lastError = WSAEINVAL;
        return false;
    }
    const bool v6 = !local->IsV4();
    const SOCKET s = socket(v6 ? AF_INET6 : AF_INET, socketType, 0);
    if (s == INVALID_SOCKET) {
        m_lastError = WSAGetLastError();
        return false;
    }
    // "::" takes IPv4 too where the system allows; any other IPv6 address only IPv6.
    DWORD only = v6 && local->IsUnspecified() ? 0 : 1;
    if (v6 && setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&only), sizeof only) != 0)
        only = 1;
    sockaddr_storage bound;
    const int boundLength = local->ToSockaddr(bound);
    if (bind(s, reinterpret_cast<const sockaddr*>(&bound), boundLength) == SOCKET_ERROR) {
        m_lastError = WSAGetLastError();
        closesocket(s);
        return false;
    }
    IgnoreConnectionResets(s);

    // Registering for read notifications also makes the socket non-blocking.
    // The event resets itself when a wait sees it, which spares a reset call
    // per wake (under Wine each such call is a round trip to its server).
    const HANDLE readEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!readEvent || WSAEventSelect(s, readEvent, events) == SOCKET_ERROR) {
        m_lastError = readEvent ? WSAGetLastError() : static_cast<int>(::GetLastError());
        if (readEvent)
            CloseHandle(readEvent);
        closesocket(s);
        return false;
    }
    m_hSocket = static_cast<std::intptr_t>(s);
    m_v6 = v6;
    m_dualStack = v6 && !only;
    m_readEvent = reinterpret_cast<std::intptr_t>(readEvent);
    m_lastError = 0;
    return true;
}

void CAsyncSocket::Close()
{
    if (m_hSocket != kInvalid)
        closesocket(AsSocket(m_hSocket));
    if (m_readEvent)
        CloseHandle(reinterpret_cast<HANDLE>(m_readEvent));
    m_hSocket = kInvalid;
    m_dualStack = false;
    m_readEvent = 0;
}

int CAsyncSocket::ReceiveFrom(void* buffer, int capacity, CString& fromAddress, unsigned& fromPort, int flags)
{
    sockaddr_storage from{};
    int fromLength = sizeof from;
    // A datagram longer than the buffer fails with WSAEMSGSIZE and is
    // dropped by the system; a reset from an earlier send fails too. Both
    // count as nothing taken.
    const int received = recvfrom(AsSocket(m_hSocket), static_cast<char*>(buffer), capacity, flags,
                                  reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received == SOCKET_ERROR)
        return WSAGetLastError() == WSAEMSGSIZE ? kDatagramTooLong : -1;
    const IpEndpoint sender = IpEndpoint::FromSockaddr(from).value_or(IpEndpoint());
    AssignAddressText(sender, fromAddress);
    fromPort = sender.Port();
    return received;
}

int CAsyncSocket::SendTo(const void* buffer, int length, unsigned port, const CString& address, int flags)
{
    const auto to = EndpointOfText(address, port);
    sockaddr_storage target;
    const int targetLength = to ? to->ToSockaddr(target, m_v6) : 0;
    if (targetLength == 0)
        return -1;
    const int sent = sendto(AsSocket(m_hSocket), static_cast<const char*>(buffer), length, flags,
                            reinterpret_cast<const sockaddr*>(&target), targetLength);
    return sent == SOCKET_ERROR ? -1 : sent;
}

bool CAsyncSocket::WaitForDatagram(const StopSignal& stop)
{
    // The read event is set when a datagram arrives after the last receive
    // call, or when a receive leaves another one waiting; the wait that
    // wakes on it also clears it. A wake may find nothing (a datagram that
    // an earlier receive took already): the caller's next receive says so
    // and re-arms the event.
    const HANDLE events[] = {reinterpret_cast<HANDLE>(stop.NativeHandle()), reinterpret_cast<HANDLE>(m_readEvent)};
    if (stop.IsRaised() || !stop.IsUsable() || !m_readEvent)
        return false;
    const DWORD woke = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    return woke == WAIT_OBJECT_0 + 1 && !stop.IsRaised();
}

bool CAsyncSocket::SetBufferSizes(int bytes)
{
    const SOCKET s = static_cast<SOCKET>(m_hSocket);
    const char* value = reinterpret_cast<const char*>(&bytes);
    const bool received = setsockopt(s, SOL_SOCKET, SO_RCVBUF, value, sizeof bytes) == 0;
    const bool sent = setsockopt(s, SOL_SOCKET, SO_SNDBUF, value, sizeof bytes) == 0;
    return received && sent;
}

unsigned CAsyncSocket::GetLocalPort() const
{
    sockaddr_storage local{};
    int length = sizeof local;
    if (m_hSocket == kInvalid ||
        getsockname(AsSocket(m_hSocket), reinterpret_cast<sockaddr*>(&local), &length) == SOCKET_ERROR)
        return 0;
    return IpEndpoint::FromSockaddr(local).value_or(IpEndpoint()).Port();
}

CAsyncSocket::OpenFailure CAsyncSocket::ClassifyError(int code)
{
    switch (code) {
    case WSAEADDRINUSE: return OpenFailure::AddressInUse;
    case WSAEADDRNOTAVAIL: return OpenFailure::AddressNotAvailable;
    case WSAEACCES: return OpenFailure::AccessDenied;
    default: return OpenFailure::Other;
    }
}

CString CAsyncSocket::SystemErrorText(int code)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text),
                                        0, nullptr);
    CString result;
    if (length && text) {
        std::wstring_view view(text, length);
        while (!view.empty() && (view.back() == L'\r' || view.back() == L'\n' || view.back() == L' '))
            view.remove_suffix(1);
        result = CString(view);
    }
    if (text)
        LocalFree(text);
    return result;
}
