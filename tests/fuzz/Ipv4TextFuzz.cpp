// ParseIpv4 and FormatIpv4: the same answer as the C library's inet_aton
// wherever the two read text alike, the plain form for every address, and
// a round trip through text that changes nothing.

#include <arpa/inet.h>

#include <cstring>

#include "tests/fuzz/FuzzText.h"
#include "framework/core/Ipv4Text.h"

namespace {

// Four numbers 0..255 in decimal without leading zeros, joined by dots.
bool IsPlainForm(std::wstring_view text)
{
    int parts = 0;
    size_t i = 0;
    while (i < text.size() && parts < 4) {
        const size_t start = i;
        unsigned value = 0;
        while (i < text.size() && text[i] >= L'0' && text[i] <= L'9' && i - start < 3)
            value = value * 10 + static_cast<unsigned>(text[i++] - L'0');
        const size_t digits = i - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == L'0'))
            return false;
        ++parts;
        if (parts < 4 && (i >= text.size() || text[i++] != L'.'))
            return false;
    }
    return parts == 4 && i == text.size();
}

// inet_aton reads a part with a leading zero as octal, and allows text
// after a blank; where neither can happen it must agree with us.
bool ReadAlikeByInetAton(const std::string& ascii)
{
    if (ascii.empty() || ascii.find_first_not_of("0123456789.") != std::string::npos)
        return false;
    for (size_t i = 0; i + 1 < ascii.size(); ++i)
        if (ascii[i] == '0' && (i == 0 || ascii[i - 1] == '.') && ascii[i + 1] != '.')
            return false;
    return true;
}

void CheckFormat(std::uint32_t address)
{
    Ipv4TextBuffer buffer;
    const std::wstring_view text = FormatIpv4(address, buffer);
    FUZZ_CHECK(IsPlainForm(text));
    FUZZ_CHECK(FormatIpv4(address).View() == text);
    FUZZ_CHECK(ParseIpv4(text) == address);

    char expected[INET_ADDRSTRLEN];
    const in_addr network{htonl(address)};
    FUZZ_CHECK(inet_ntop(AF_INET, &network, expected, sizeof expected) != nullptr);
    FUZZ_CHECK(AsciiOf(text) == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::wstring text = FuzzText(data, size);
    const std::string ascii = AsciiOf(text);
    const auto address = ParseIpv4(text);

    if (ReadAlikeByInetAton(ascii)) {
        in_addr expected{};
        const bool valid = inet_aton(ascii.c_str(), &expected) != 0;
        FUZZ_CHECK(address.has_value() == valid);
        FUZZ_CHECK(!valid || *address == ntohl(expected.s_addr));
    }
    if (address) {
        FUZZ_CHECK(!ascii.empty());  // only ASCII digits and dots make an address
        CheckFormat(*address);
        if (IsPlainForm(text))
            FUZZ_CHECK(FormatIpv4(*address).View() == text);
    }
    if (size >= 4) {
        std::uint32_t raw = 0;
        std::memcpy(&raw, data, 4);
        CheckFormat(raw);
    }
    return 0;
}
