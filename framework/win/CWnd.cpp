#include "framework/win/CWnd.h"

#include <algorithm>
#include <string>

#include "framework/win/CDataExchange.h"
#include "framework/win/CWinApp.h"

namespace {

CString TextOf(HWND hWnd)
{
    if (!hWnd)
        return {};
    const int length = ::GetWindowTextLengthW(hWnd);
    std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(hWnd, buffer.data(), length + 1);
    buffer.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return CString(std::move(buffer));
}

}  // namespace

CWnd* CWnd::GetDlgItem(int nID) const
{
    HWND child = ::GetDlgItem(m_hWnd, nID);
    if (!child)
        return nullptr;
    std::unique_ptr<CWnd>& item = m_dlgItems[nID];
    if (!item)
        item = std::make_unique<CWnd>();
    item->m_hWnd = child;
    return item.get();
}

void CWnd::SetWindowText(const CString& text)
{
    ::SetWindowTextW(m_hWnd, text);
}

void CWnd::GetWindowText(CString& text) const
{
    text = TextOf(m_hWnd);
}

int CWnd::GetDlgItemText(int nID, CString& text) const
{
    text = TextOf(::GetDlgItem(m_hWnd, nID));
    return text.GetLength();
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::PostMessageW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::IsIconic() const
{
    return ::IsIconic(m_hWnd);
}

void CWnd::CenterWindow(CWnd* pAlternateOwner)
{
    const HWND owner = pAlternateOwner ? pAlternateOwner->GetSafeHwnd() : ::GetWindow(m_hWnd, GW_OWNER);
    const bool overOwner = owner && ::IsWindowVisible(owner) && !::IsIconic(owner);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(overOwner ? owner : m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT& area = monitor.rcWork;
    RECT around = area;
    if (overOwner)
        ::GetWindowRect(owner, &around);
    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    const LONG width = window.right - window.left;
    const LONG height = window.bottom - window.top;
    LONG x = (around.left + around.right - width) / 2;
    LONG y = (around.top + around.bottom - height) / 2;
    // Within the work area, the top-left corner first if it does not fit.
    x = std::max(area.left, std::min(x, area.right - width));
    y = std::max(area.top, std::min(y, area.bottom - height));
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::GetClientRect(LPRECT rect) const
{
    ::GetClientRect(m_hWnd, rect);
}

HMENU CWnd::GetSystemMenu(BOOL bRevert) const
{
    return ::GetSystemMenu(m_hWnd, bRevert);
}

HWND CWnd::SetFocus()
{
    return ::SetFocus(m_hWnd);
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return dx.HasFailed() ? FALSE : TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

LRESULT CWnd::Default()
{
    m_defaultRequested = true;
    return 0;
}

void CWnd::OnSysCommand(UINT, LPARAM)
{
    Default();
}

void CWnd::OnPaint()
{
    Default();
}

HCURSOR CWnd::OnQueryDragIcon()
{
    return nullptr;
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    // A handler may send messages to this same window; each dispatch keeps
    // its own request for default processing.
    const bool outerRequest = m_defaultRequested;
    m_defaultRequested = false;
    const bool handled = Dispatch(message, wParam, lParam, result);
    const bool wantsDefault = m_defaultRequested;
    m_defaultRequested = outerRequest;
    return handled && !wantsDefault;
}

bool CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_COMMAND)
        return RouteCommand(wParam);
    const MessageMapEntry* entry = FindMessageEntry(message, 0, 0);
    if (!entry)
        return false;
    result = entry->handler.Invoke(*this, wParam, lParam);
    return true;
}

bool CWnd::RouteCommand(WPARAM wParam)
{
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    if (OnCmdMsg(id, code))
        return true;
    CWinApp* app = AfxGetApp();
    return app && app->OnCmdMsg(id, code);
}
