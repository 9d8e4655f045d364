#pragma once
// A dialog made from a template in the program's resources, either modal
// (DoModal) or modeless (Create/DestroyWindow). The object is found from
// the window through the dialog's user data (DWLP_USER), which is set when
// the dialog is initialised. Once OnInitDialog has run, before the dialog
// first shows, it is centred over its owner, or on the work area of its
// monitor when it has none (CWnd::CenterWindow).
//
// Keys and the close box, through the dialog manager: Enter sends the
// default button's command, Escape and the close box send IDCANCEL. The
// default handlers: IDOK runs OnOK, IDCANCEL runs OnCancel, F1 (WM_HELP)
// sends the ID_HELP command, which reaches the application's map unless
// the dialog's own map takes it.

#include <windows.h>

#include <optional>

#include "framework/win/CWnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    // Destroys a modeless dialog that is still open.
    ~CDialog() override;

    // Runs the dialog until EndDialog; returns its result, or -1 when the
    // dialog could not be made or is already open.
    virtual INT_PTR DoModal();

    // Makes the dialog modeless and returns at once (after OnInitDialog);
    // messages then come through the caller's message loop. A template id
    // of 0 means the one given to the constructor.
    BOOL Create(UINT nIDTemplate = 0, CWnd* pParentWnd = nullptr);
    BOOL DestroyWindow();

    // Ends a modal dialog with nResult. A modeless one is hidden and keeps
    // the result for GetEndResult.
    void EndDialog(int nResult);
    // The result EndDialog was given since the dialog was last opened.
    std::optional<int> GetEndResult() const { return m_endResult; }

    // Default: UpdateData(FALSE), then TRUE so the system focuses the first control.
    virtual BOOL OnInitDialog();
    // Default: UpdateData(TRUE), and EndDialog(IDOK) only if that passed.
    virtual void OnOK();
    // Default: EndDialog(IDCANCEL).
    virtual void OnCancel();

protected:
    afx_msg LRESULT OnHelpMessage(WPARAM, LPARAM);

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    bool m_bModal = false;
    std::optional<int> m_endResult;
};
