#pragma once
// The lines of a numbers file (a delay table, a rate trace): each line
// without its '#' comment and the blanks around it, empty ones skipped.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Calls read(line) for each line that holds something; stops at the first
// problem read gives back and returns it as "line N: problem".
template <typename Read>
std::optional<std::string> ForEachNumberLine(std::string_view text, Read read)
{
    constexpr std::string_view kBlanks = " \t\r";
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNumber;
        line = line.substr(0, line.find('#'));
        const auto first = line.find_first_not_of(kBlanks);
        if (first == std::string_view::npos)
            continue;
        line = line.substr(first, line.find_last_not_of(kBlanks) - first + 1);
        if (std::optional<std::string> problem = read(line))
            return "line " + std::to_string(lineNumber) + ": " + *problem;
    }
    return std::nullopt;
}
