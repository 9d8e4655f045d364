#include "tests/cli/CliProcess.h"

#include <windows.h>

#include <thread>

#include "framework/core/CString.h"
#include "tests/support/WindowsPath.h"

namespace {

std::wstring CommandLine(const std::vector<std::string>& arguments)
{
    // The tests' arguments hold no blanks or quotes.
    std::wstring line = L"\"" + WindowsPathOf(DULVET_CLI_EXE) + L"\"";
    for (const std::string& argument : arguments)
        line += L" " + std::wstring(CString::FromUtf8(argument).View());
    return line;
}

void CloseIfOpen(HANDLE& handle)
{
    if (handle)
        CloseHandle(handle);
    handle = nullptr;
}

}  // namespace

struct CliProcess::Impl {
    PROCESS_INFORMATION process{};
    HANDLE input = nullptr;
    HANDLE out = nullptr;

    static void Collect(HANDLE pipe, CollectedText& text)
    {
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0)
            text.Add(chunk, got);
        CloseHandle(pipe);
    }
};

CliProcess::CliProcess(const std::vector<std::string>& arguments, Setup setup) : m_impl(std::make_unique<Impl>())
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&inRead, &m_impl->input, &inherit, 0) || !CreatePipe(&m_impl->out, &outWrite, &inherit, 0) ||
        !CreatePipe(&errRead, &errWrite, &inherit, 0))
        return;
    // Only the child's ends are inherited.
    SetHandleInformation(m_impl->input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(m_impl->out, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    std::wstring line = CommandLine(arguments);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &m_impl->process))
        m_impl->process = {};
    CloseHandle(inRead);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    m_errReader = std::thread(Impl::Collect, errRead, std::ref(m_err));
    if (!setup.leaveOutUnread)
        ReadOutFromNowOn();
}

CliProcess::~CliProcess()
{
    if (m_impl->process.hProcess && !WaitForExit(std::chrono::milliseconds(0))) {
        TerminateProcess(m_impl->process.hProcess, 255);
        WaitForExit(std::chrono::seconds(5));
    }
    FinishStreams();
    CloseIfOpen(m_impl->process.hThread);
    CloseIfOpen(m_impl->process.hProcess);
}

bool CliProcess::Started() const { return m_impl->process.hProcess != nullptr; }

void CliProcess::Send(const std::string& text)
{
    DWORD written = 0;
    if (m_impl->input)
        WriteFile(m_impl->input, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void CliProcess::CloseInput() { CloseIfOpen(m_impl->input); }

void CliProcess::ReadOutFromNowOn()
{
    if (m_impl->out && !m_outReader.joinable()) {
        m_outReader = std::thread(Impl::Collect, m_impl->out, std::ref(m_out));
        m_impl->out = nullptr;
    }
}

std::optional<int> CliProcess::WaitForExit(std::chrono::milliseconds timeout)
{
    if (!m_impl->process.hProcess ||
        WaitForSingleObject(m_impl->process.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(m_impl->process.hProcess, &code);
    return static_cast<int>(code);
}
