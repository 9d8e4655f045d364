#include "framework/core/SocketAddress.h"

#ifndef _WIN32
#include <arpa/inet.h>
#endif

#include <cstdint>

#include "framework/core/Ipv4Text.h"

std::optional<sockaddr_in> SocketAddressOf(const CString& address, unsigned port)
{
    const auto host = ParseIpv4(address.View());
    if (!host)
        return std::nullopt;
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(static_cast<std::uint16_t>(port & 0xFFFF));
    result.sin_addr.s_addr = htonl(*host);
    return result;
}
