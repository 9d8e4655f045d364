#include "framework/core/TextFile.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

TextFileReading ReadTextFile(std::string_view utf8Name, std::size_t mostBytes)
{
    TextFileReading reading;
    const std::string quoted = "'" + std::string(utf8Name) + "'";
    const std::filesystem::path path(std::u8string(utf8Name.begin(), utf8Name.end()));
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        const int error = errno;
        reading.problem = "cannot open " + quoted + (error ? ": " + std::generic_category().message(error) : "");
        return reading;
    }
    std::error_code sizeError;
    const auto size = std::filesystem::file_size(path, sizeError);
    if (!sizeError && size > mostBytes) {
        reading.problem = quoted + " is larger than " + std::to_string(mostBytes) + " bytes";
        return reading;
    }
    reading.text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad() || reading.text.size() > mostBytes) {
        reading.problem = "cannot read " + quoted;
        reading.text.clear();
        return reading;
    }
    reading.ok = true;
    return reading;
}
