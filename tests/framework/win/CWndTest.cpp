// CWnd as a handle to a dialog's children.
#include <gtest/gtest.h>

#include "CDialogEx.h"
#include "TestDialogIds.h"

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
