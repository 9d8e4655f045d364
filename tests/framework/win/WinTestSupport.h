#pragma once
// Helpers for the window layer's tests: message boxes recorded instead of
// shown, bounded message pumping, and a modal dialog that runs a script once
// open and ends itself if nothing else does.

#include <windows.h>

#include <functional>
#include <vector>

#include "framework/win/AfxMessageBox.h"
#include "framework/win/CDialogEx.h"

// While alive, every AfxMessageBox is recorded and answered with `answer`.
class MessageBoxRecorder {
public:
    struct Box {
        CString text;
        CString caption;
        UINT type;
    };

    explicit MessageBoxRecorder(int answer = IDOK);
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    const std::vector<Box>& Boxes() const { return m_boxes; }

private:
    std::vector<Box> m_boxes;
    MessageBoxHook m_previous;
};

// Dispatches the messages already queued for this thread (at most a few hundred).
void PumpPendingMessages();

// Posts a key press the way the keyboard would deliver it to `target`.
void PostKey(HWND target, WPARAM virtualKey);

// The watchdog ends the dialog with a timer procedure of its own, outside
// the message map, so it works even when the dispatch under test does not.
class WatchedDialog : public CDialogEx {
public:
    static constexpr int kTimedOut = 0x7E57;
    using Script = std::function<void(WatchedDialog&)>;

    WatchedDialog(UINT nIDTemplate, Script onOpen);
    BOOL OnInitDialog() override;
    HWND Item(int nID) const { return ::GetDlgItem(m_hWnd, nID); }

private:
    Script m_onOpen;
};
