#pragma once
// Who may send to the relay as a client: address prefixes as --allow gives
// them ("192.0.2.0/24", "2001:db8::/32", or one address alone). An empty
// list lets everyone in. IPv4 addresses, and the IPv4-mapped IPv6 form a
// dual-stack socket reports for them, match IPv4 prefixes only; other IPv6
// addresses match IPv6 prefixes only.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/core/IpEndpoint.h"

class AddressPrefix {
public:
    // "ADDR" or "ADDR/BITS": a dotted IPv4 address (BITS 0..32) or an IPv6
    // address (BITS 0..128) without zone; host bits past BITS are ignored.
    static std::optional<AddressPrefix> Parse(std::wstring_view text);

    bool Contains(const IpEndpoint& address) const;
    // "192.0.2.0/24", "2001:db8::/32": as it matches.
    std::string ToText() const;

    friend bool operator==(const AddressPrefix&, const AddressPrefix&) = default;

private:
    IpEndpoint m_network;  // host bits cleared
    int m_bits = 0;        // of the 128 in IpEndpoint's form (an IPv4 prefix: 96 + its length)
};

class AllowList {
public:
    bool LetsEveryoneIn() const { return m_prefixes.empty(); }
    bool Allows(const IpEndpoint& address) const;
    void Add(const AddressPrefix& prefix);
    // "192.0.2.0/24,10.0.0.1/32": what --allow takes back.
    std::string ToText() const;

    friend bool operator==(const AllowList&, const AllowList&) = default;

private:
    std::vector<AddressPrefix> m_prefixes;
};
