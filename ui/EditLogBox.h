#pragma once
// The log box as an edit control: the LogBox operations as edit messages.

#include <windows.h>

#include "ui/LogBox.h"

class EditLogBox : public LogBox {
public:
    explicit EditLogBox(HWND edit) : m_edit(edit) {}

    void SetText(const CString& text) override { SetWindowTextW(m_edit, text); }
    void AppendText(const CString& tail) override
    {
        // The caret is usually at the end already, where the last append
        // left it. Moving it makes the box find the caret's line again and
        // redraw its scroll bars, which under Wine costs a walk over every
        // line and several milliseconds, so it moves only when elsewhere.
        const auto end = static_cast<DWORD>(GetWindowTextLengthW(m_edit));
        DWORD start = 0;
        DWORD stop = 0;
        SendMessageW(m_edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&stop));
        if (start != end || stop != end)
            SendMessageW(m_edit, EM_SETSEL, end, end);
        SendMessageW(m_edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(tail.GetString()));
    }
    int GetTextLength() override { return GetWindowTextLengthW(m_edit); }
    int GetLineCount() override { return static_cast<int>(SendMessageW(m_edit, EM_GETLINECOUNT, 0, 0)); }
    void LineScroll(int lines) override { SendMessageW(m_edit, EM_LINESCROLL, 0, lines); }

private:
    HWND m_edit;
};
