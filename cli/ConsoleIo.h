#pragma once
// The console program's standard streams and arguments, as each platform
// gives them.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "framework/core/CString.h"

enum class StdStream { Out, Err };

// Lines end in "\n" on Linux and "\r\n" on Windows.
#ifdef _WIN32
inline constexpr std::string_view kLineEnd = "\r\n";
#else
inline constexpr std::string_view kLineEnd = "\n";
#endif

// Whether the stream is a terminal (a console on Windows).
bool IsTerminal(StdStream stream);

// Writes UTF-8 text whose line ends are already the platform's, waiting
// while the stream is full. False when the stream is closed or broken
// (nothing reads it any more).
bool WriteToStream(StdStream stream, std::string_view text);

// Reads what standard input has, waiting for it; 0 at its end or on an error.
size_t ReadStandardInput(char* buffer, size_t capacity);

// The command line's arguments after the program's name.
std::vector<CString> ProgramArguments(int argc, char** argv);
