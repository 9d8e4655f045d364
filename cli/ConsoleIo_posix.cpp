#include "ConsoleIo.h"

#include <cerrno>
#include <unistd.h>

namespace {

int Descriptor(StdStream stream) { return stream == StdStream::Out ? STDOUT_FILENO : STDERR_FILENO; }

}  // namespace

bool IsTerminal(StdStream stream) { return isatty(Descriptor(stream)) == 1; }

bool WriteToStream(StdStream stream, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t written = write(Descriptor(stream), text.data(), text.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        text.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

size_t ReadStandardInput(char* buffer, size_t capacity)
{
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, buffer, capacity);
        if (got < 0 && errno == EINTR)
            continue;
        return got > 0 ? static_cast<size_t>(got) : 0;
    }
}

std::vector<CString> ProgramArguments(int argc, char** argv)
{
    std::vector<CString> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(CString::FromUtf8(argv[i]));
    return arguments;
}
