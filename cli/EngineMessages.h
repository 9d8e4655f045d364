#pragma once
// What dulvet says when an engine cannot open or start, the same for
// every engine.

#include <cstdint>
#include <string>

#include "framework/core/CAsyncSocket.h"
#include "framework/core/IpEndpoint.h"

inline constexpr const char* kSocketsLibraryFailure = "cannot start the sockets library";
inline constexpr const char* kRelayStartFailure = "cannot start the relay: the system gives no thread or event for it";

// "cannot open relay port 127.0.0.1:5000: <why>" ("[::1]:5000" for IPv6)
inline std::string CannotOpenRelayPort(const IpEndpoint& where, int systemCode)
{
    return "cannot open relay port " + where.ToText().ToUtf8() + ": " + CAsyncSocket::ErrorText(systemCode).ToUtf8();
}

// "Listening on [::]:5000 for IPv4 and IPv6."
inline std::string ListeningForBoth(const IpEndpoint& where)
{
    return "Listening on " + where.ToText().ToUtf8() + " for IPv4 and IPv6.";
}
