#pragma once
// A window seen from our code: a non-owning wrapper of an HWND plus the
// message dispatch that windows with a message map share. It never creates
// or destroys the window it names (CDialog does that for dialogs).

#include <windows.h>

#include <map>
#include <memory>

#include "framework/win/CCmdTarget.h"
#include "framework/core/CString.h"
#include "framework/win/MessageMap.h"

class CDataExchange;

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}

    // The wrapped window; null when there is none.
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The child with the given control id, or null when there is none. The
    // returned wrapper belongs to this object and stays valid as long as it
    // does; each call refreshes it to the child's current handle.
    CWnd* GetDlgItem(int nID) const;

    void SetWindowText(const CString& text);
    void GetWindowText(CString& text) const;
    // The text of child nID (empty when there is no such child); returns its length.
    int GetDlgItemText(int nID, CString& text) const;

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    BOOL IsIconic() const;
    // Moves the window, keeping its size, so that it is centred over its
    // owner (or pAlternateOwner) when that is shown and not minimised, and
    // otherwise on the work area of its monitor; it is kept within that
    // work area either way.
    void CenterWindow(CWnd* pAlternateOwner = nullptr);
    void GetClientRect(LPRECT rect) const;
    HMENU GetSystemMenu(BOOL bRevert) const;
    // Returns the window that had the focus before.
    HWND SetFocus();

    // Moves data between the controls and the members through
    // DoDataExchange: to the members when bSaveAndValidate is TRUE, to the
    // controls when FALSE. FALSE when a field did not pass.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    virtual void DoDataExchange(CDataExchange* pDX);

    HWND m_hWnd = nullptr;

protected:
    // Asks for the system's default processing of the message being
    // handled; it runs once the handler returns. Always returns 0.
    LRESULT Default();

    // Default handlers that derived handlers may call.
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();

    // Runs this window's handler for the message. WM_COMMAND goes to this
    // window's map and, when that has no row for it, to the application's.
    // False when nothing handled it or the handler asked for Default().
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool RouteCommand(WPARAM wParam);

    bool m_defaultRequested = false;
    mutable std::map<int, std::unique_ptr<CWnd>> m_dlgItems;
};
