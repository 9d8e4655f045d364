#include "framework/core/EndpointLookup.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <algorithm>

#include "framework/core/CAsyncSocket.h"
#include "framework/core/DatagramSocket.h"
#include "framework/core/NumberText.h"

namespace {

std::string Quoted(std::wstring_view text) { return "'" + CString(text).ToUtf8() + "'"; }

std::string FormProblem(std::wstring_view text)
{
    return "expects ADDR:PORT, a dotted IPv4 address, an IPv6 address in brackets or a host name, and a port "
           "from 1 to 65535 (like 127.0.0.1:5000, [::1]:5000 or localhost:5000), not " + Quoted(text);
}

bool IsNameCharacter(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' ||
           c == L'.' || c == L'_';
}

// Digits and dots only: meant as an IPv4 address, never a name.
bool LooksNumeric(std::wstring_view host)
{
    return std::all_of(host.begin(), host.end(), [](wchar_t c) { return (c >= L'0' && c <= L'9') || c == L'.'; });
}

std::string ResolverText(int code)
{
#ifdef _WIN32
    return gai_strerrorA(code);
#else
    return gai_strerror(code);
#endif
}

void Resolve(std::wstring_view host, std::uint16_t port, EndpointLookup& lookup)
{
    AfxSocketInit();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const std::string name = CString(host).ToUtf8();
    if (const int code = getaddrinfo(name.c_str(), nullptr, &hints, &found); code != 0) {
        lookup.problem = "cannot resolve " + Quoted(host) + ": " + ResolverText(code);
        return;
    }
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        sockaddr_storage address{};
        std::copy_n(reinterpret_cast<const unsigned char*>(entry->ai_addr),
                    std::min<std::size_t>(entry->ai_addrlen, sizeof address), reinterpret_cast<unsigned char*>(&address));
        const auto endpoint = IpEndpoint::FromSockaddr(address);
        if (endpoint && std::find(lookup.endpoints.begin(), lookup.endpoints.end(), endpoint->WithPort(port)) ==
                            lookup.endpoints.end())
            lookup.endpoints.push_back(endpoint->WithPort(port));
    }
    freeaddrinfo(found);
    if (lookup.endpoints.empty())
        lookup.problem = "cannot resolve " + Quoted(host) + ": it has no IPv4 or IPv6 address";
}

}  // namespace

EndpointLookup LookUpEndpoints(std::wstring_view text)
{
    EndpointLookup lookup;
    std::wstring_view host;
    std::wstring_view portText;
    if (text.starts_with(L'[')) {
        const size_t close = text.find(L']');
        if (close == std::wstring_view::npos) {
            lookup.problem = FormProblem(text);
            return lookup;
        }
        if (close + 1 == text.size() || text[close + 1] != L':') {
            lookup.problem = "needs a port after the IPv6 address, like [::1]:5000, not " + Quoted(text);
            return lookup;
        }
        host = text.substr(1, close - 1);
        portText = text.substr(close + 2);
    } else {
        const size_t colon = text.rfind(L':');
        if (colon != std::wstring_view::npos && text.find(L':') != colon) {
            lookup.problem = "takes an IPv6 address in brackets before its port, like [::1]:5000, not " + Quoted(text);
            return lookup;
        }
        if (colon == std::wstring_view::npos) {
            lookup.problem = FormProblem(text);
            return lookup;
        }
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
    }
    const auto port = ParseInt32(portText);
    if (!port || *port < 1 || *port > 65535 || host.empty()) {
        lookup.problem = FormProblem(text);
        return lookup;
    }
    const auto port16 = static_cast<std::uint16_t>(*port);

    if (text.starts_with(L'[')) {
        const size_t percent = host.find(L'%');
        const auto bytes = ParseIpv6Literal(host.substr(0, percent));
        if (!bytes) {
            lookup.problem = "expects an IPv6 address in the brackets, like [::1]:5000, not " + Quoted(text);
            return lookup;
        }
        std::uint32_t zone = 0;
        if (percent != std::wstring_view::npos) {
            const auto id = ZoneIdOf(host.substr(percent + 1));
            if (!id) {
                lookup.problem = "names the zone " + Quoted(host.substr(percent + 1)) +
                                 ", which is no network interface of this machine, in " + Quoted(text);
                return lookup;
            }
            zone = *id;
        }
        lookup.endpoints.push_back(IpEndpoint::V6(*bytes, port16, zone));
        return lookup;
    }
    if (LooksNumeric(host)) {
        const auto address = ParseIpv4Literal(host);
        if (!address)
            lookup.problem = FormProblem(text);
        else
            lookup.endpoints.push_back(IpEndpoint::V4(*address, port16));
        return lookup;
    }
    if (!std::all_of(host.begin(), host.end(), IsNameCharacter)) {
        lookup.problem = FormProblem(text);
        return lookup;
    }
    lookup.named = true;
    Resolve(host, port16, lookup);
    return lookup;
}

IpEndpoint SendingEnd(const IpEndpoint& bound, const IpEndpoint& peer)
{
    if (!bound.IsUnspecified())
        return bound;
    DatagramSocket probe;
    if (!probe.Open(bound.WithPort(0)) || !probe.Connect(peer))
        return bound;
    return probe.LocalEndpoint().WithPort(bound.Port());
}

std::optional<IpEndpoint> FirstConnectable(const std::vector<IpEndpoint>& endpoints)
{
    for (const IpEndpoint& endpoint : endpoints) {
        DatagramSocket probe;
        const IpEndpoint any = endpoint.IsV4() ? IpEndpoint() : IpEndpoint::V6({}, 0);
        if (probe.Open(any) && probe.Connect(endpoint))
            return endpoint;
    }
    return std::nullopt;
}
