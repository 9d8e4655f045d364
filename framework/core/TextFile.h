#pragma once
// Reading a small text file whole, by a name given in UTF-8 on every system.

#include <cstddef>
#include <string>
#include <string_view>

struct TextFileReading {
    bool ok = false;
    std::string text;
    std::string problem;  // "cannot open 'x': No such file or directory", ...
};

TextFileReading ReadTextFile(std::string_view utf8Name, std::size_t mostBytes);
