#pragma once
// Turns a fuzzer's bytes into form text: ASCII as it is, and each byte
// from 0x80 up into one of the wide characters that look like digits,
// signs, dots or blanks to someone, so the readers meet them too.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

inline std::wstring FuzzText(const std::uint8_t* data, std::size_t size)
{
    static constexpr wchar_t kWide[16] = {
        0xFF10, 0xFF19,  // fullwidth 0 and 9
        0x0660, 0x0669,  // Arabic-Indic 0 and 9
        0x00A0, 0x3000,  // no-break and ideographic space
        0x2212, 0xFF0B,  // minus sign, fullwidth plus
        0xFF0E, 0x3002,  // fullwidth full stop, ideographic full stop
        0x00B9, 0x2070,  // superscript 1 and 0
        0x0130, 0x212A,  // letters that fold to ASCII i and k
        0xFFFF, 0xD800,  // a noncharacter, a lone surrogate
    };
    std::wstring text;
    text.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        text.push_back(data[i] < 0x80 ? static_cast<wchar_t>(data[i]) : kWide[data[i] & 15]);
    return text;
}

// The text as ASCII, or empty when it holds anything else.
inline std::string AsciiOf(std::wstring_view text)
{
    std::string ascii;
    for (wchar_t c : text) {
        if (c <= 0 || c >= 0x80)
            return std::string();
        ascii.push_back(static_cast<char>(c));
    }
    return ascii;
}

#define FUZZ_CHECK(condition)                                                   \
    do {                                                                        \
        if (!(condition)) {                                                     \
            std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                       \
        }                                                                       \
    } while (false)
