#include "framework/core/IpEndpoint.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>
#else
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstring>
#include <string>
#include <vector>

#include "framework/core/Ipv4Text.h"

namespace {

constexpr std::uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

std::uint16_t Group(const IpEndpoint::V6Bytes& bytes, int i)
{
    return static_cast<std::uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
}

// RFC 5952: lowercase, no leading zeros, the longest run of two or more
// zero groups (the first of equals) as "::".
std::wstring FormatIpv6(const IpEndpoint::V6Bytes& bytes)
{
    int runStart = -1, runLength = 0;
    for (int i = 0; i < 8;) {
        if (Group(bytes, i) != 0) {
            ++i;
            continue;
        }
        int end = i;
        while (end < 8 && Group(bytes, end) == 0)
            ++end;
        if (end - i > runLength && end - i >= 2) {
            runStart = i;
            runLength = end - i;
        }
        i = end;
    }
    std::wstring text;
    for (int i = 0; i < 8; ++i) {
        if (i == runStart) {
            text += L"::";
            i += runLength - 1;
            continue;
        }
        if (!text.empty() && text.back() != L':')
            text += L':';
        wchar_t hex[8];
        std::swprintf(hex, 8, L"%x", unsigned{Group(bytes, i)});
        text += hex;
    }
    return text;
}

std::wstring ZoneName(std::uint32_t zone)
{
    char name[IF_NAMESIZE + 1] = {};
    if (if_indextoname(zone, name))
        return std::wstring(CString::FromUtf8(name).View());
    return std::to_wstring(zone);
}

bool ParseHexGroup(std::wstring_view text, std::uint16_t& group)
{
    if (text.empty() || text.size() > 4)
        return false;
    unsigned value = 0;
    for (const wchar_t c : text) {
        unsigned digit;
        if (c >= L'0' && c <= L'9')
            digit = static_cast<unsigned>(c - L'0');
        else if (c >= L'a' && c <= L'f')
            digit = static_cast<unsigned>(c - L'a' + 10);
        else if (c >= L'A' && c <= L'F')
            digit = static_cast<unsigned>(c - L'A' + 10);
        else
            return false;
        value = value << 4 | digit;
    }
    group = static_cast<std::uint16_t>(value);
    return true;
}

// Colon-separated groups; the last may be a dotted IPv4 address (two groups).
bool ParseGroups(std::wstring_view text, bool ipv4Tail, std::vector<std::uint16_t>& groups)
{
    if (text.empty())
        return true;
    for (size_t start = 0;;) {
        const size_t colon = text.find(L':', start);
        const std::wstring_view part = text.substr(start, colon == std::wstring_view::npos ? colon : colon - start);
        if (colon == std::wstring_view::npos && ipv4Tail && part.find(L'.') != std::wstring_view::npos) {
            const auto v4 = ParseIpv4Literal(part);
            if (!v4)
                return false;
            groups.push_back(static_cast<std::uint16_t>(*v4 >> 16));
            groups.push_back(static_cast<std::uint16_t>(*v4 & 0xFFFF));
            return true;
        }
        std::uint16_t group = 0;
        if (!ParseHexGroup(part, group))
            return false;
        groups.push_back(group);
        if (colon == std::wstring_view::npos)
            return true;
        start = colon + 1;
    }
}

}  // namespace

IpEndpoint IpEndpoint::V4(std::uint32_t address, std::uint16_t port)
{
    IpEndpoint endpoint;
    for (int i = 0; i < 4; ++i)
        endpoint.m_bytes[12 + i] = static_cast<std::uint8_t>(address >> (24 - 8 * i));
    endpoint.m_port = port;
    return endpoint;
}

IpEndpoint IpEndpoint::V6(const V6Bytes& address, std::uint16_t port, std::uint32_t zone)
{
    IpEndpoint endpoint;
    endpoint.m_bytes = address;
    endpoint.m_port = port;
    endpoint.m_zone = endpoint.IsV4() ? 0 : zone;
    return endpoint;
}

bool IpEndpoint::IsV4() const { return std::memcmp(m_bytes.data(), kMappedPrefix, sizeof kMappedPrefix) == 0; }

std::uint32_t IpEndpoint::V4Address() const
{
    if (!IsV4())
        return 0;
    return std::uint32_t{m_bytes[12]} << 24 | std::uint32_t{m_bytes[13]} << 16 | std::uint32_t{m_bytes[14]} << 8 |
           m_bytes[15];
}

bool IpEndpoint::IsUnspecified() const
{
    if (IsV4())
        return V4Address() == 0;
    return m_bytes == V6Bytes{};
}

bool IpEndpoint::IsLoopback() const
{
    if (IsV4())
        return V4Address() >> 24 == 127;
    return m_bytes == V6Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
}

bool IpEndpoint::IsBroadcastOrMulticast() const
{
    if (IsV4())
        return V4Address() == 0xFFFFFFFF || V4Address() >> 28 == 0xE;
    return m_bytes[0] == 0xFF;
}

IpEndpoint IpEndpoint::WithPort(std::uint16_t port) const
{
    IpEndpoint endpoint = *this;
    endpoint.m_port = port;
    return endpoint;
}

CString IpEndpoint::AddressText() const
{
    if (IsV4())
        return FormatIpv4(V4Address());
    std::wstring text = FormatIpv6(m_bytes);
    if (m_zone)
        text += L"%" + ZoneName(m_zone);
    return CString(std::wstring_view(text));
}

CString IpEndpoint::ToText() const
{
    const CString port = CString::Formatted(L":%u", unsigned{m_port});
    if (IsV4())
        return AddressText() + port;
    return L"[" + AddressText() + L"]" + port;
}

int IpEndpoint::ToSockaddr(sockaddr_storage& out, bool forV6Socket) const
{
    std::memset(&out, 0, sizeof out);
    if (!forV6Socket) {
        if (!IsV4())
            return 0;
        auto& v4 = reinterpret_cast<sockaddr_in&>(out);
        v4.sin_family = AF_INET;
        v4.sin_port = htons(m_port);
        v4.sin_addr.s_addr = htonl(V4Address());
        return sizeof v4;
    }
    auto& v6 = reinterpret_cast<sockaddr_in6&>(out);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(m_port);
    std::memcpy(&v6.sin6_addr, m_bytes.data(), m_bytes.size());
    v6.sin6_scope_id = m_zone;
    return sizeof v6;
}

std::optional<IpEndpoint> IpEndpoint::FromSockaddr(const sockaddr_storage& address)
{
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        return V4(ntohl(v4.sin_addr.s_addr), ntohs(v4.sin_port));
    }
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        V6Bytes bytes;
        std::memcpy(bytes.data(), &v6.sin6_addr, bytes.size());
        return V6(bytes, ntohs(v6.sin6_port), v6.sin6_scope_id);
    }
    return std::nullopt;
}

std::optional<std::uint32_t> ParseIpv4Literal(std::wstring_view text) { return ParseDottedIpv4(text); }

std::optional<IpEndpoint::V6Bytes> ParseIpv6Literal(std::wstring_view text)
{
    std::vector<std::uint16_t> head, tail;
    const size_t gap = text.find(L"::");
    if (gap == std::wstring_view::npos) {
        if (!ParseGroups(text, true, head) || head.size() != 8)
            return std::nullopt;
    } else {
        if (text.find(L"::", gap + 1) != std::wstring_view::npos || !ParseGroups(text.substr(0, gap), false, head) ||
            !ParseGroups(text.substr(gap + 2), true, tail) || head.size() + tail.size() > 7)
            return std::nullopt;
    }
    // An empty head or tail beside "::" is fine; "1:" or ":1" is not.
    if (gap == std::wstring_view::npos && (text.starts_with(L':') || text.ends_with(L':')))
        return std::nullopt;
    std::vector<std::uint16_t> groups = head;
    groups.resize(8 - tail.size(), 0);
    groups.insert(groups.end(), tail.begin(), tail.end());
    IpEndpoint::V6Bytes bytes{};
    for (int i = 0; i < 8; ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(groups[i] >> 8);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(groups[i] & 0xFF);
    }
    return bytes;
}

std::optional<std::uint32_t> ZoneIdOf(std::wstring_view zone)
{
    if (zone.empty())
        return std::nullopt;
    const std::string name = CString(zone).ToUtf8();
    if (name.find_first_not_of("0123456789") == std::string::npos && name.size() <= 9) {
        const auto index = static_cast<std::uint32_t>(std::stoul(name));
        char found[IF_NAMESIZE + 1] = {};
        if (index != 0 && if_indextoname(index, found))
            return index;
        return std::nullopt;
    }
    const unsigned index = if_nametoindex(name.c_str());
    if (index == 0)
        return std::nullopt;
    return index;
}
