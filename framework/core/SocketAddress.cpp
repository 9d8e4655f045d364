#include "framework/core/SocketAddress.h"

#include <cstdint>

#include "framework/core/Ipv4Text.h"

std::optional<IpEndpoint> EndpointOfText(const CString& address, unsigned port)
{
    const auto port16 = static_cast<std::uint16_t>(port & 0xFFFF);
    if (const auto v4 = ParseIpv4(address.View()))
        return IpEndpoint::V4(*v4, port16);
    const std::wstring_view text = address.View();
    const size_t percent = text.find(L'%');
    const auto v6 = ParseIpv6Literal(text.substr(0, percent));
    if (!v6)
        return std::nullopt;
    std::uint32_t zone = 0;
    if (percent != std::wstring_view::npos) {
        const auto id = ZoneIdOf(text.substr(percent + 1));
        if (!id)
            return std::nullopt;
        zone = *id;
    }
    return IpEndpoint::V6(*v6, port16, zone);
}

void AssignAddressText(const IpEndpoint& sender, CString& address)
{
    if (sender.IsV4()) {
        Ipv4TextBuffer text;
        address.Assign(FormatIpv4(sender.V4Address(), text));
    } else {
        address = sender.AddressText();
    }
}
