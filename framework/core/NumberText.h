#pragma once
// Reading the form's number fields. Blanks around the number are allowed;
// anything else that is not the number makes the reading fail.

#include <cstdint>
#include <optional>
#include <string_view>

// Optional sign and decimal digits; fails beyond the 32-bit signed range.
std::optional<std::int32_t> ParseInt32(std::wstring_view text);

// Optional sign, digits with an optional decimal point, optional exponent.
// Fails for a value too large for a double; "inf", "nan" and hex are not numbers.
std::optional<double> ParseDouble(std::wstring_view text);
