// Modal dialogs driven through the dialog manager's own loop: the keys,
// the close box and the default buttons. Every dialog ends itself after
// half a minute (WatchedDialog::kTimedOut) if the key never arrives.
#include <gtest/gtest.h>

#include "framework/win/DDX_Text.h"
#include "tests/framework/win/TestDialogIds.h"
#include "tests/framework/win/WinTestSupport.h"

namespace {

class KeyedDialog : public WatchedDialog {
public:
    using WatchedDialog::WatchedDialog;
    CString text;
    int applyClicks = 0;
    int sysCommands = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_TEXT, text); }
    afx_msg void OnApply()
    {
        ++applyClicks;
        EndDialog(IDC_APPLY);
    }
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam)
    {
        ++sysCommands;
        WatchedDialog::OnSysCommand(nID, lParam);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(KeyedDialog, WatchedDialog)
    ON_BN_CLICKED(IDC_APPLY, &KeyedDialog::OnApply)
    ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

WatchedDialog::Script PressKey(WPARAM key)
{
    return [key](WatchedDialog& dlg) { PostKey(dlg.Item(IDC_TEXT), key); };
}

class WinModalDialog : public ::testing::Test {
protected:
    MessageBoxRecorder boxes;
};

TEST_F(WinModalDialog, EscapeEndsWithCancelWhenThereIsNoCancelButton)
{
    KeyedDialog dialog(IDD_TEST_APPLY_DEFAULT, PressKey(VK_ESCAPE));
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST_F(WinModalDialog, CloseMessageEndsWithCancel)
{
    KeyedDialog dialog(IDD_TEST_APPLY_DEFAULT, [](WatchedDialog& dlg) { dlg.PostMessage(WM_CLOSE); });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

TEST_F(WinModalDialog, CloseBoxEndsWithCancelThroughTheDefaultSysCommand)
{
    KeyedDialog dialog(IDD_TEST_APPLY_DEFAULT, [](WatchedDialog& dlg) { dlg.PostMessage(WM_SYSCOMMAND, SC_CLOSE); });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.sysCommands, 1);
}

TEST_F(WinModalDialog, EnterOnOkDefaultRunsOkWhichReadsTheFields)
{
    KeyedDialog dialog(IDD_TEST_FORM, [](WatchedDialog& dlg) {
        ::SetDlgItemTextW(dlg.m_hWnd, IDC_TEXT, L"typed");
        PostKey(dlg.Item(IDC_TEXT), VK_RETURN);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.text, L"typed");
    EXPECT_EQ(dialog.applyClicks, 0);
}

TEST_F(WinModalDialog, EnterRunsTheHandlerOfADefaultButtonOtherThanOk)
{
    KeyedDialog dialog(IDD_TEST_APPLY_DEFAULT, PressKey(VK_RETURN));
    EXPECT_EQ(dialog.DoModal(), IDC_APPLY);
    EXPECT_EQ(dialog.applyClicks, 1);
}

TEST_F(WinModalDialog, TemplateThatDoesNotExistGivesMinusOne)
{
    KeyedDialog dialog(9999, nullptr);
    EXPECT_EQ(dialog.DoModal(), -1);
}

}  // namespace
