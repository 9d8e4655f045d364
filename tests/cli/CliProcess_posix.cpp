#include "tests/cli/CliProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>


extern char** environ;

using Clock = std::chrono::steady_clock;

namespace {

// The test's environment for the child; the thread sanitizer, when the
// build has it, is told not to hold the child for a second at its end
// (the tests time that end).
std::vector<std::string> ChildEnvironment()
{
    std::vector<std::string> environment;
    bool sanitizerOptions = false;
    for (char** entry = environ; *entry; ++entry) {
        environment.emplace_back(*entry);
        sanitizerOptions = sanitizerOptions || environment.back().rfind("TSAN_OPTIONS=", 0) == 0;
    }
    if (!sanitizerOptions)
        environment.emplace_back("TSAN_OPTIONS=atexit_sleep_ms=0");
    return environment;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

struct CliProcess::Impl {
    pid_t pid = -1;
    int input = -1;
    int out = -1;
    std::optional<int> status;

    static void Collect(int fd, CollectedText& text)
    {
        char chunk[4096];
        for (;;) {
            const ssize_t got = read(fd, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            text.Add(chunk, static_cast<size_t>(got));
        }
        close(fd);
    }
};

CliProcess::CliProcess(const std::vector<std::string>& arguments, Setup setup) : m_impl(std::make_unique<Impl>())
{
    // Writing to a process that has ended must fail, not end the test.
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return;
    // A pipe that cannot be made as small as asked would not show what the test wants.
    if (setup.outPipeBytes > 0 && fcntl(out[1], F_SETPIPE_SZ, setup.outPipeBytes) != setup.outPipeBytes) {
        for (const int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            close(fd);
        return;
    }
    std::vector<std::string> argumentTexts =
        setup.command.empty() ? std::vector<std::string>{DULVET_CLI_EXE} : setup.command;
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environmentTexts = ChildEnvironment();
    const std::vector<char*> argv = Pointers(argumentTexts);
    const std::vector<char*> envp = Pointers(environmentTexts);
    m_impl->pid = fork();
    if (m_impl->pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    m_impl->input = in[1];
    m_impl->out = out[0];
    m_errReader = std::thread(Impl::Collect, err[0], std::ref(m_err));
    if (!setup.leaveOutUnread)
        ReadOutFromNowOn();
}

CliProcess::~CliProcess()
{
    if (m_impl->pid > 0 && !WaitForExit(std::chrono::milliseconds(0))) {
        kill(m_impl->pid, SIGKILL);
        WaitForExit(std::chrono::seconds(5));
    }
    FinishStreams();
}

bool CliProcess::Started() const { return m_impl->pid > 0; }

void CliProcess::Send(const std::string& text)
{
    if (m_impl->input >= 0)
        (void)!write(m_impl->input, text.data(), text.size());
}

void CliProcess::CloseInput()
{
    if (m_impl->input >= 0)
        close(m_impl->input);
    m_impl->input = -1;
}

void CliProcess::ReadOutFromNowOn()
{
    if (m_impl->out >= 0 && !m_outReader.joinable()) {
        m_outReader = std::thread(Impl::Collect, m_impl->out, std::ref(m_out));
        m_impl->out = -1;
    }
}

void CliProcess::Signal(int signal) { kill(m_impl->pid, signal); }

std::optional<int> CliProcess::WaitForExit(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!m_impl->status && m_impl->pid > 0) {
        int status = 0;
        if (waitpid(m_impl->pid, &status, WNOHANG) == m_impl->pid) {
            m_impl->status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            // Its streams are at their end now: what it wrote is all there
            // once the readers have taken it.
            for (std::thread* reader : {&m_outReader, &m_errReader})
                if (reader->joinable())
                    reader->join();
        } else if (Clock::now() >= deadline)
            break;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return m_impl->status;
}
