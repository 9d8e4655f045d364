#include "cli/ConsoleIo.h"

#include <windows.h>
#include <shellapi.h>

namespace {

HANDLE Handle(StdStream stream) { return GetStdHandle(stream == StdStream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }

bool IsConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// A console takes UTF-16 whatever its code page; a pipe or a file takes the UTF-8 bytes.
bool WriteToConsole(HANDLE console, std::string_view text)
{
    const CString wide = CString::FromUtf8(text);
    std::wstring_view left = wide.View();
    while (!left.empty()) {
        DWORD written = 0;
        if (!WriteConsoleW(console, left.data(), static_cast<DWORD>(left.size()), &written, nullptr) || written == 0)
            return false;
        left.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool IsTerminal(StdStream stream) { return IsConsole(Handle(stream)); }

bool WriteToStream(StdStream stream, std::string_view text)
{
    const HANDLE handle = Handle(stream);
    if (!handle || handle == INVALID_HANDLE_VALUE)
        return false;
    if (IsConsole(handle))
        return WriteToConsole(handle, text);
    while (!text.empty()) {
        DWORD written = 0;
        if (!WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written == 0)
            return false;
        text.remove_prefix(written);
    }
    return true;
}

size_t ReadStandardInput(char* buffer, size_t capacity)
{
    DWORD got = 0;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (!input || input == INVALID_HANDLE_VALUE || !ReadFile(input, buffer, static_cast<DWORD>(capacity), &got, nullptr))
        return 0;
    return got;
}

std::vector<CString> ProgramArguments(int /*argc*/, char** /*argv*/)
{
    // The wide command line, so that an argument outside the ANSI code page
    // reaches an error message as typed.
    std::vector<CString> arguments;
    int count = 0;
    if (wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            arguments.emplace_back(words[i]);
        LocalFree(words);
    }
    return arguments;
}
