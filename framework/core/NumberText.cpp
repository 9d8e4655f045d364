#include "framework/core/NumberText.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::wstring_view TrimBlanks(std::wstring_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Consumes a run of digits; returns how many there were.
size_t SkipDigits(std::wstring_view text, size_t& i)
{
    const size_t start = i;
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    return i - start;
}

bool IsDecimalNumber(std::wstring_view text)
{
    size_t i = 0;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        ++i;
    size_t digits = SkipDigits(text, i);
    if (i < text.size() && text[i] == L'.') {
        ++i;
        digits += SkipDigits(text, i);
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
        ++i;
        if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
            ++i;
        if (SkipDigits(text, i) == 0)
            return false;
    }
    return i == text.size();
}

}  // namespace

std::optional<std::int32_t> ParseInt32(std::wstring_view text)
{
    text = TrimBlanks(text);
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == L'-';
    if (!text.empty() && (text[0] == L'+' || text[0] == L'-'))
        ++i;
    if (i == text.size())
        return std::nullopt;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i]))
            return std::nullopt;
        value = value * 10 + (text[i] - L'0');
        if (value > limit)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::optional<double> ParseDouble(std::wstring_view text)
{
    text = TrimBlanks(text);
    if (!IsDecimalNumber(text))
        return std::nullopt;
    // The text is plain ASCII now, and the program never changes the C locale.
    const std::string ascii(text.begin(), text.end());
    const double value = std::strtod(ascii.c_str(), nullptr);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}
