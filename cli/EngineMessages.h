#pragma once
// What dulvet says when an engine cannot open or start, the same for
// every engine.

#include <cstdint>
#include <string>

#include "framework/core/CAsyncSocket.h"

inline constexpr const char* kSocketsLibraryFailure = "cannot start the sockets library";
inline constexpr const char* kRelayStartFailure = "cannot start the relay: the system gives no thread or event for it";

// "cannot open relay port 127.0.0.1:5000: <why>"
inline std::string CannotOpenRelayPort(const CString& address, std::uint32_t port, int systemCode)
{
    return "cannot open relay port " + CString::Formatted(L"%ls:%u", address.GetString(), port).ToUtf8() + ": " +
           CAsyncSocket::ErrorText(systemCode).ToUtf8();
}
