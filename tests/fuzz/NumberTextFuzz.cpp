// ParseInt32 and ParseDouble against plain references (digit strings
// compared as text; the C library's strtod): the same answer for every
// text, integers read alike by both, and what reads prints back to the
// same number.

#include <cmath>
#include <cstring>

#include "tests/fuzz/FuzzText.h"
#include "framework/core/NumberText.h"

namespace {

std::string_view TrimBlanks(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

// Sign, then decimal digits only; the value by its digits, not by arithmetic
// that could overflow.
std::optional<std::int32_t> ReferenceInt32(const std::string& ascii)
{
    std::string_view text = TrimBlanks(ascii);
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        text.remove_prefix(1);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    text.remove_prefix(std::min(text.find_first_not_of('0'), text.size()));
    const std::string_view limit = negative ? "2147483648" : "2147483647";
    if (text.size() > limit.size() || (text.size() == limit.size() && text > limit))
        return std::nullopt;
    const long long magnitude = text.empty() ? 0 : std::stoll(std::string(text));
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

// The C library's reading of a decimal number, when it takes the whole text.
std::optional<double> ReferenceDouble(const std::string& ascii)
{
    const std::string text(TrimBlanks(ascii));
    if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos)
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool SameDouble(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::wstring text = FuzzText(data, size);
    const std::string ascii = AsciiOf(text);

    const auto integer = ParseInt32(text);
    FUZZ_CHECK(integer == ReferenceInt32(ascii));

    const auto number = ParseDouble(text);
    const auto expected = ReferenceDouble(ascii);
    FUZZ_CHECK(number.has_value() == expected.has_value());
    if (!number)
        return 0;
    FUZZ_CHECK(SameDouble(*number, *expected));
    FUZZ_CHECK(std::isfinite(*number));
    if (integer)
        FUZZ_CHECK(*number == static_cast<double>(*integer));

    char printed[40];
    std::snprintf(printed, sizeof printed, "%.17g", *number);
    const auto again = ParseDouble(FuzzText(reinterpret_cast<const std::uint8_t*>(printed), std::strlen(printed)));
    FUZZ_CHECK(again && SameDouble(*again, *number));
    return 0;
}
