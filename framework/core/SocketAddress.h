#pragma once
// The IPv4 socket address of an address text and a port, as both platforms'
// sockets bind to it and send to it.

#include <optional>

#include "framework/core/CString.h"
#include "framework/core/SocketTypes.h"

#ifndef _WIN32
#include <netinet/in.h>
#endif

// The address is read in the manner of inet_addr; only the low 16 bits of
// the port are used. Nothing when the text is not an address.
std::optional<sockaddr_in> SocketAddressOf(const CString& address, unsigned port);
