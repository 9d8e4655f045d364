#pragma once
// One exchange between a dialog's controls and its members, in the order
// DoDataExchange names the fields. Once a field fails, the exchange is over:
// every later DDX call does nothing, so that field and the ones after it
// keep their member values.

#include <windows.h>

#include "framework/core/CString.h"

class CWnd;

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate);
    CDataExchange(const CDataExchange&) = delete;
    CDataExchange& operator=(const CDataExchange&) = delete;

    // The control nID, now the field being exchanged; null when the
    // exchange has already failed, or when there is no such control (which
    // fails the exchange without a prompt).
    HWND PrepareCtrl(int nID);

    // Ends the exchange on the current field: shows the prompt (when not
    // empty), then puts the focus on the field with its text selected.
    void Fail(const CString& prompt);

    bool HasFailed() const { return m_bFailed; }

    BOOL m_bSaveAndValidate;  // TRUE: controls to members
    CWnd* m_pDlgWnd;

private:
    void FocusField() const;

    HWND m_hWndLastControl = nullptr;
    bool m_bFailed = false;
};
