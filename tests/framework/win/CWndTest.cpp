// CWnd as a handle to a dialog's children.
#include <gtest/gtest.h>

#include "framework/win/CDialogEx.h"
#include "tests/framework/win/TestDialogIds.h"

namespace {

TEST(WinWindow, ChildWrapperFollowsTheChildAcrossANewWindow)
{
    CDialogEx dialog(IDD_TEST_FORM);
    ASSERT_TRUE(dialog.Create());
    CWnd* first = dialog.GetDlgItem(IDC_TEXT);
    ASSERT_NE(first, nullptr);
    first->SetWindowText(L"端口");
    CString text;
    dialog.GetDlgItemText(IDC_TEXT, text);
    EXPECT_EQ(text, L"端口");

    dialog.DestroyWindow();
    ASSERT_TRUE(dialog.Create());
    CWnd* again = dialog.GetDlgItem(IDC_TEXT);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->GetSafeHwnd(), ::GetDlgItem(dialog.m_hWnd, IDC_TEXT));
    EXPECT_EQ(dialog.GetDlgItem(IDC_MISSING), nullptr);
}

}  // namespace

namespace {

POINT CentreOf(HWND window)
{
    RECT rect;
    ::GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

RECT WorkAreaOf(HWND window)
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcWork;
}

void ExpectNear(POINT got, POINT want, const char* what)
{
    EXPECT_NEAR(got.x, want.x, 1) << what;
    EXPECT_NEAR(got.y, want.y, 1) << what;
}

TEST(WinWindow, DialogOpensCentredOnTheWorkAreaOrOverItsShownOwner)
{
    CDialogEx owner(IDD_TEST_FORM);
    ASSERT_TRUE(owner.Create());
    const RECT area = WorkAreaOf(owner.m_hWnd);
    ExpectNear(CentreOf(owner.m_hWnd), {(area.left + area.right) / 2, (area.top + area.bottom) / 2}, "no owner");

    // A shown owner away from the middle: the dialog it owns opens over it.
    ::SetWindowPos(owner.m_hWnd, nullptr, area.left + 40, area.top + 30, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    CDialogEx owned(IDD_TEST_APPLY_DEFAULT, &owner);
    ASSERT_TRUE(owned.Create());
    ExpectNear(CentreOf(owned.m_hWnd), CentreOf(owner.m_hWnd), "over the owner");
}

}  // namespace
