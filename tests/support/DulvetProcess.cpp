#include "tests/support/DulvetProcess.h"

#include <commctrl.h>

#include <string>
#include <thread>
#include <vector>

#include "framework/core/CAsyncSocket.h"
#include "framework/core/SocketTypes.h"
#include "tests/support/WindowsPath.h"
#include "res/resource.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

struct WindowSearch {
    DWORD processId;
    HWND exclude;
    HWND found;
};

BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner == search->processId && window != search->exclude && IsWindowVisible(window) &&
        std::wstring(className) == L"#32770") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindProcessDialog(DWORD processId, HWND exclude, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    do {
        WindowSearch search{processId, exclude, nullptr};
        EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        std::this_thread::sleep_for(20ms);
    } while (Clock::now() < deadline);
    return nullptr;
}

int CountLines(const CString& text)
{
    int lines = 0;
    for (wchar_t c : text.View())
        lines += c == L'\n';
    return lines;
}

// Where the n-th (from 1) "Dulvet Ready!" line starts, if the text holds
// that block whole.
std::optional<size_t> SettingsBlock(const CString& text, int n)
{
    const std::wstring_view view = text.View();
    size_t at = std::wstring_view::npos;
    for (int i = 0; i < n; ++i) {
        at = view.find(L"Dulvet Ready!\r\n", at == std::wstring_view::npos ? 0 : at + 1);
        if (at == std::wstring_view::npos)
            return std::nullopt;
    }
    // Its three lines complete.
    size_t end = at;
    for (int line = 0; line < 3; ++line) {
        end = view.find(L"\r\n", end);
        if (end == std::wstring_view::npos)
            return std::nullopt;
        end += 2;
    }
    return at;
}

}  // namespace

DulvetProcess::DulvetProcess()
{
    std::wstring commandLine = L"\"" + WindowsPathOf(DULVET_EXE) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &m_process))
        return;
    WaitForInputIdle(m_process.hProcess, 10000);
    m_dialog = FindProcessDialog(m_process.dwProcessId, nullptr, kDeadline);
}

DulvetProcess::~DulvetProcess()
{
    if (!m_process.hProcess)
        return;
    if (!HasExited() && m_dialog) {
        // Dismiss any box still open, then close the window.
        for (int boxes = 0; boxes < 5; ++boxes) {
            const HWND other = FindProcessDialog(m_process.dwProcessId, m_dialog, 0ms);
            if (!other)
                break;
            PostMessageW(other, WM_CLOSE, 0, 0);
            std::this_thread::sleep_for(50ms);
        }
        PostMessageW(m_dialog, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(m_process.hProcess, 5000) != WAIT_OBJECT_0)
        TerminateProcess(m_process.hProcess, 1);
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
}

void DulvetProcess::SetField(int id, const CString& text)
{
    SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.GetString()));
}

void DulvetProcess::SetAddress(int id, BYTE a, BYTE b, BYTE c, BYTE d)
{
    SendMessageW(Control(id), IPM_SETADDRESS, 0, MAKEIPADDRESS(a, b, c, d));
}

void DulvetProcess::ClearAddress(int id) { SendMessageW(Control(id), IPM_CLEARADDRESS, 0, 0); }

CString DulvetProcess::FieldText(int id) const { return WindowText(Control(id)); }

void DulvetProcess::Click(int id)
{
    PostMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Control(id)));
}

void DulvetProcess::PressKey(int controlId, UINT virtualKey)
{
    const HWND target = Control(controlId);
    PostMessageW(target, WM_KEYDOWN, virtualKey, 1);
    PostMessageW(target, WM_KEYUP, virtualKey, 0xC0000001);
}

void DulvetProcess::SystemCommand(UINT command) { PostMessageW(m_dialog, WM_SYSCOMMAND, command, 0); }

CString DulvetProcess::WindowText(HWND window)
{
    // Bounded, so a busy window cannot hang the test.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return CString();
    std::vector<wchar_t> text(length + 1);
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                        5000, &copied);
    return CString(std::wstring_view(text.data(), copied));
}

CString DulvetProcess::MessageBoxText(HWND box)
{
    // The message is the box's static control with id 0xFFFF.
    return WindowText(GetDlgItem(box, 0xFFFF));
}

CString DulvetProcess::LogText(std::chrono::milliseconds settle) const
{
    CString previous = WindowText(Control(IDC_LOG));
    const auto deadline = Clock::now() + 5s;
    for (;;) {
        std::this_thread::sleep_for(settle);
        CString now = WindowText(Control(IDC_LOG));
        if (now == previous || Clock::now() > deadline)
            return now;
        previous = now;
    }
}

bool DulvetProcess::WaitForLogLines(int lines, std::chrono::milliseconds timeout) const
{
    const auto deadline = Clock::now() + timeout;
    do {
        if (CountLines(WindowText(Control(IDC_LOG))) >= lines)
            return true;
        std::this_thread::sleep_for(20ms);
    } while (Clock::now() < deadline);
    return false;
}

CString DulvetProcess::LogBeforeModify(int settingsBlocks)
{
    Click(IDC_MODIFY);
    const auto deadline = Clock::now() + kDeadline;
    for (;;) {
        const CString text = WindowText(Control(IDC_LOG));
        if (const auto block = SettingsBlock(text, settingsBlocks + 1))
            return CString(text.View().substr(0, *block));
        if (Clock::now() > deadline)
            return L"(Modify's lines never came)";
        std::this_thread::sleep_for(20ms);
    }
}

HWND DulvetProcess::WaitForOtherWindow(std::chrono::milliseconds timeout) const
{
    return FindProcessDialog(m_process.dwProcessId, m_dialog, timeout);
}

bool DulvetProcess::WaitUntilGone(HWND window)
{
    const auto deadline = Clock::now() + kDeadline;
    while (IsWindow(window)) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::optional<std::chrono::milliseconds> DulvetProcess::CloseAndWait(UINT message, WPARAM wParam,
                                                                    std::chrono::milliseconds timeout)
{
    const auto before = Clock::now();
    PostMessageW(m_dialog, message, wParam, 0);
    if (WaitForSingleObject(m_process.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before);
}

bool DulvetProcess::HasExited() const { return WaitForSingleObject(m_process.hProcess, 0) == WAIT_OBJECT_0; }

unsigned DulvetProcess::FreePort()
{
    AfxSocketInit();
    CAsyncSocket probe;
    probe.Create(0, SOCK_DGRAM, FD_READ, L"127.0.0.1");
    return probe.GetLocalPort();
}

void StartRelay(DulvetProcess& dulvet, unsigned relayPort, unsigned serverPort, const wchar_t* lossRate,
                const wchar_t* delay)
{
    dulvet.SetAddress(IDC_IP, 127, 0, 0, 1);
    dulvet.SetField(IDC_PORT, CString::Formatted(L"%u", relayPort));
    dulvet.SetAddress(IDC_SERVER_IP, 127, 0, 0, 1);
    dulvet.SetField(IDC_SERVER_PORT, CString::Formatted(L"%u", serverPort));
    dulvet.SetField(IDC_LOSS_RATE, lossRate);
    dulvet.SetField(IDC_DELAY, delay);
    dulvet.Click(IDOK);
}
