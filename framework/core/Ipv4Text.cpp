#include "framework/core/Ipv4Text.h"

#include <array>

std::optional<std::uint32_t> ParseIpv4(std::wstring_view text)
{
    std::array<std::uint64_t, 4> parts{};
    size_t count = 0;
    size_t i = 0;
    while (true) {
        if (count == parts.size() || i >= text.size() || text[i] < L'0' || text[i] > L'9')
            return std::nullopt;
        std::uint64_t value = 0;
        while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
            value = value * 10 + static_cast<std::uint64_t>(text[i] - L'0');
            if (value > 0xFFFFFFFFull)
                return std::nullopt;
            ++i;
        }
        parts[count++] = value;
        if (i == text.size())
            break;
        if (text[i] != L'.')
            return std::nullopt;
        ++i;
    }

    // Every part but the last is one byte; the last fills what is left.
    std::uint32_t address = 0;
    for (size_t k = 0; k + 1 < count; ++k) {
        if (parts[k] > 0xFF)
            return std::nullopt;
        address |= static_cast<std::uint32_t>(parts[k]) << (24 - 8 * k);
    }
    const unsigned tailBits = 32 - 8 * static_cast<unsigned>(count - 1);
    const std::uint64_t last = parts[count - 1];
    if (tailBits < 32 && last >> tailBits != 0)
        return std::nullopt;
    return address | static_cast<std::uint32_t>(last);
}

std::optional<std::uint32_t> ParseDottedIpv4(std::wstring_view text)
{
    const auto address = ParseIpv4(text);
    Ipv4TextBuffer plain;
    if (!address || FormatIpv4(*address, plain) != text)
        return std::nullopt;
    return address;
}

std::wstring_view FormatIpv4(std::uint32_t hostOrder, Ipv4TextBuffer& out)
{
    size_t length = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned byte = (hostOrder >> shift) & 0xFF;
        if (byte >= 100)
            out[length++] = static_cast<wchar_t>(L'0' + byte / 100);
        if (byte >= 10)
            out[length++] = static_cast<wchar_t>(L'0' + byte / 10 % 10);
        out[length++] = static_cast<wchar_t>(L'0' + byte % 10);
        if (shift != 0)
            out[length++] = L'.';
    }
    return std::wstring_view(out, length);
}

CString FormatIpv4(std::uint32_t hostOrder)
{
    Ipv4TextBuffer text;
    return CString(FormatIpv4(hostOrder, text));
}
