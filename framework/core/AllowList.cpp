#include "framework/core/AllowList.h"

#include <algorithm>

namespace {

constexpr int kMappedBits = 96;  // IpEndpoint keeps IPv4 as ::ffff:a.b.c.d

IpEndpoint::V6Bytes Masked(IpEndpoint::V6Bytes bytes, int bits)
{
    for (int i = 0; i < 16; ++i) {
        const int kept = std::clamp(bits - 8 * i, 0, 8);
        bytes[static_cast<std::size_t>(i)] &= static_cast<std::uint8_t>(0xFF00 >> kept);
    }
    return bytes;
}

std::optional<int> PrefixBits(std::wstring_view text, int most)
{
    if (text.empty() || text.size() > 3)
        return std::nullopt;
    int bits = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        bits = bits * 10 + (c - L'0');
    }
    if (bits > most)
        return std::nullopt;
    return bits;
}

}  // namespace

std::optional<AddressPrefix> AddressPrefix::Parse(std::wstring_view text)
{
    const std::size_t slash = text.find(L'/');
    const std::wstring_view address = text.substr(0, slash);
    AddressPrefix prefix;
    int most = 0;
    if (const auto v4 = ParseIpv4Literal(address)) {
        prefix.m_network = IpEndpoint::V4(*v4, 0);
        most = 32;
    } else if (const auto v6 = ParseIpv6Literal(address)) {
        prefix.m_network = IpEndpoint::V6(*v6, 0);
        most = 128;
    } else {
        return std::nullopt;
    }
    const bool mapped = most == 32 || prefix.m_network.IsV4();  // "::ffff:10.0.0.0/104" is 10.0.0.0/8
    std::optional<int> bits = most;
    if (slash != std::wstring_view::npos)
        bits = PrefixBits(text.substr(slash + 1), most);
    if (!bits || (most == 128 && mapped && *bits < kMappedBits))
        return std::nullopt;
    prefix.m_bits = most == 32 ? kMappedBits + *bits : *bits;
    prefix.m_network = IpEndpoint::V6(Masked(prefix.m_network.Bytes(), prefix.m_bits), 0);
    return prefix;
}

bool AddressPrefix::Contains(const IpEndpoint& address) const
{
    // ::/0 is every IPv6 address, not every IPv4 one too.
    if (address.IsV4() != m_network.IsV4())
        return false;
    return Masked(address.Bytes(), m_bits) == m_network.Bytes();
}

std::string AddressPrefix::ToText() const
{
    const int bits = m_network.IsV4() ? m_bits - kMappedBits : m_bits;
    return m_network.AddressText().ToUtf8() + "/" + std::to_string(bits);
}

bool AllowList::Allows(const IpEndpoint& address) const
{
    return m_prefixes.empty() ||
           std::any_of(m_prefixes.begin(), m_prefixes.end(), [&](const AddressPrefix& p) { return p.Contains(address); });
}

void AllowList::Add(const AddressPrefix& prefix)
{
    if (std::find(m_prefixes.begin(), m_prefixes.end(), prefix) == m_prefixes.end())
        m_prefixes.push_back(prefix);
}

std::string AllowList::ToText() const
{
    std::string text;
    for (const AddressPrefix& prefix : m_prefixes) {
        if (!text.empty())
            text += ',';
        text += prefix.ToText();
    }
    return text;
}
