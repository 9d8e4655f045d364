// The main window's icon, its About entry in the system menu, and the
// icon painted while minimized.

#include "ui/AboutDlg.h"
#include "ui/DulvetDlg.h"
#include "framework/win/ResourceModule.h"

BOOL CDulvetDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    PrepareLogBox();
    AddAboutToSystemMenu();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    return TRUE;  // let the system focus the first tab stop
}

void CDulvetDlg::AddAboutToSystemMenu()
{
    const HMENU systemMenu = GetSystemMenu(FALSE);
    if (!systemMenu)
        return;
    const CString about = AfxLoadString(IDS_ABOUTBOX);
    if (about.IsEmpty())
        return;
    AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
}

void CDulvetDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        // Owned by the main window, which stays disabled while it is open.
        CAboutDlg about(this);
        about.DoModal();
    } else {
        CDialogEx::OnSysCommand(nID, lParam);
    }
}

void CDulvetDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialogEx::OnPaint();
        return;
    }
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(&client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
}

HCURSOR CDulvetDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }
