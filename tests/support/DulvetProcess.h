#pragma once
// Dulvet.exe as a user runs it: started as its own process, its main dialog
// found and driven with window messages from outside, as a person's clicks
// and keys would reach it. Every wait is for a condition, bounded by a
// deadline generous enough for a loaded machine under Wine.

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>

#include "framework/core/CString.h"
#include "tests/support/CStringPrinter.h"

class DulvetProcess {
public:
    // How long a wait for something that should happen may take.
    static constexpr std::chrono::milliseconds kDeadline{30000};

    DulvetProcess();
    ~DulvetProcess();  // closes the window and, failing that, ends the process
    DulvetProcess(const DulvetProcess&) = delete;
    DulvetProcess& operator=(const DulvetProcess&) = delete;

    bool IsReady() const { return m_dialog != nullptr; }
    HWND Dialog() const { return m_dialog; }
    HWND Control(int id) const { return GetDlgItem(m_dialog, id); }

    // Typing into the form.
    void SetField(int id, const CString& text);
    void SetAddress(int id, BYTE a, BYTE b, BYTE c, BYTE d);
    void ClearAddress(int id);
    CString FieldText(int id) const;

    // Buttons and keys, posted so that a message box the command opens
    // cannot block the test.
    void Click(int id);
    void PressKey(int controlId, UINT virtualKey);
    void SystemCommand(UINT command);

    // The log box's whole text once it has held still (or the timeout
    // passed). For a check that lines did NOT come, use LogBeforeModify.
    CString LogText(std::chrono::milliseconds settle = std::chrono::milliseconds(150)) const;
    // Waits until the log box holds at least `lines` complete lines.
    bool WaitForLogLines(int lines, std::chrono::milliseconds timeout = kDeadline) const;
    // Presses Modify (the form must read) and returns the log as it stood
    // before Modify's lines, once those are shown: every line written
    // before the press is then in it. `settingsBlocks` is how many
    // settings blocks (Start or Modify) the log holds before the press.
    CString LogBeforeModify(int settingsBlocks);

    // A window of this process other than the main dialog (a message box,
    // the About box), if one appears within the timeout.
    HWND WaitForOtherWindow(std::chrono::milliseconds timeout = kDeadline) const;
    // Waits until a window is gone; false if it is still there at the deadline.
    static bool WaitUntilGone(HWND window);
    static CString WindowText(HWND window);
    // The text of a message box's message.
    static CString MessageBoxText(HWND box);

    // Closes the main dialog (WM_CLOSE, as the close box does) and waits for
    // the process to end; returns how long that took, or nothing.
    std::optional<std::chrono::milliseconds> CloseAndWait(UINT message = WM_CLOSE, WPARAM wParam = 0,
                                                          std::chrono::milliseconds timeout = kDeadline);
    bool HasExited() const;

    // A UDP port on 127.0.0.1 that was free a moment ago.
    static unsigned FreePort();

private:
    PROCESS_INFORMATION m_process{};
    HWND m_dialog = nullptr;
};

// Fills the form for a relay on 127.0.0.1:relayPort to a server on
// 127.0.0.1:serverPort and presses Start.
void StartRelay(DulvetProcess& dulvet, unsigned relayPort, unsigned serverPort, const wchar_t* lossRate = L"0",
                const wchar_t* delay = L"0");
