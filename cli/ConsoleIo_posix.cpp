#include "cli/ConsoleIo.h"

#include <cerrno>
#include <chrono>
#include <thread>
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

namespace {

// A background job that reads its terminal gets EIO (SIGTTIN is ignored,
// so that such a read does not stop the whole relay).
bool InBackgroundOfTerminal()
{
    const pid_t foreground = tcgetpgrp(STDIN_FILENO);
    return foreground != -1 && foreground != getpgrp();
}

}  // namespace

size_t ReadStandardInput(char* buffer, size_t capacity)
{
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, buffer, capacity);
        if (got > 0)
            return static_cast<size_t>(got);
        if (got < 0 && errno == EINTR)
            continue;
        // Commands are read again once the job is brought to the foreground.
        if (got < 0 && errno == EIO && InBackgroundOfTerminal()) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            continue;
        }
        return 0;
    }
}

std::vector<CString> ProgramArguments(int argc, char** argv)
{
    std::vector<CString> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(CString::FromUtf8(argv[i]));
    return arguments;
}
