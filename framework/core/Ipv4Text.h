#pragma once
// IPv4 addresses as text: parsing in the manner of inet_addr, and the plain
// dotted-decimal form (four numbers 0..255, no leading zeros).

#include <cstdint>
#include <optional>
#include <string_view>

#include "framework/core/CString.h"

// Accepts "a.b.c.d" and the shorter inet_addr forms ("a", "a.b", "a.b.c",
// where the last part fills the remaining bytes); parts are decimal.
// Returns the address in host byte order, or nothing for any other text.
std::optional<std::uint32_t> ParseIpv4(std::wstring_view text);

// Only the plain dotted-decimal form that FormatIpv4 writes: "a.b.c.d",
// each part 0..255 without leading zeros. A relay compares addresses as
// texts, so a second spelling of the same address would never match.
std::optional<std::uint32_t> ParseDottedIpv4(std::wstring_view text);

CString FormatIpv4(std::uint32_t hostOrder);

// The same into a caller's buffer, for the receive path, which must not allocate.
using Ipv4TextBuffer = wchar_t[16];
std::wstring_view FormatIpv4(std::uint32_t hostOrder, Ipv4TextBuffer& out);
