#pragma once
// What the Windows socket classes share: the handle as Winsock's own type,
// and the one option every datagram socket here is opened with.

#include <winsock2.h>
#include <mswsock.h>

#include <cstdint>

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

inline SOCKET AsSocket(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

// A send to a port with no listener would otherwise make a later receive
// fail with a connection reset; the relay has no use for that.
inline void IgnoreConnectionResets(SOCKET s)
{
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
}
