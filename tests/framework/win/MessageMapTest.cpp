// Message maps: which handler a message reaches, along the chain of tables
// and on to the application object.
#include <gtest/gtest.h>

#include "framework/win/CDialogEx.h"
#include "framework/win/CWinApp.h"
#include "framework/win/CommandIds.h"
#include "tests/framework/win/TestDialogIds.h"
#include "tests/framework/win/WinTestSupport.h"

namespace {

constexpr UINT WM_TEST_SUM = WM_APP + 1;
constexpr UINT ID_APP_ONLY = 0x8001;

class ClickDialog : public CDialogEx {
public:
    ClickDialog() : CDialogEx(IDD_TEST_FORM) {}
    int applyClicks = 0;
    int otherClicks = 0;

protected:
    afx_msg void OnApply() { ++applyClicks; }
    afx_msg void OnOther() { ++otherClicks; }
    afx_msg LRESULT OnSum(WPARAM a, LPARAM b) { return static_cast<LRESULT>(a) + b; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ClickDialog, CDialogEx)
    ON_BN_CLICKED(IDC_APPLY, &ClickDialog::OnApply)
    ON_BN_CLICKED(IDC_OTHER, &ClickDialog::OnOther)
    ON_MESSAGE(WM_TEST_SUM, &ClickDialog::OnSum)
END_MESSAGE_MAP()

class DerivedClickDialog : public ClickDialog {
public:
    int derivedOtherClicks = 0;
    int paints = 0;
    HCURSOR dragIcon = ::LoadCursorW(nullptr, IDC_CROSS);

protected:
    afx_msg void OnOtherHere() { ++derivedOtherClicks; }
    afx_msg void OnPaint()
    {
        ++paints;
        ClickDialog::OnPaint();
    }
    afx_msg HCURSOR OnQueryDragIcon() { return dragIcon; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedClickDialog, ClickDialog)
    ON_BN_CLICKED(IDC_OTHER, &DerivedClickDialog::OnOtherHere)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
END_MESSAGE_MAP()

class TestApp : public CWinApp {
public:
    TestApp() : CWinApp(L"TestApp") {}
    int appOnlyCommands = 0;
    int applyCommands = 0;

protected:
    afx_msg void OnAppOnly() { ++appOnlyCommands; }
    afx_msg void OnApply() { ++applyCommands; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestApp, CWinApp)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
    ON_COMMAND(ID_APP_ONLY, &TestApp::OnAppOnly)
    ON_COMMAND(IDC_APPLY, &TestApp::OnApply)
END_MESSAGE_MAP()

class WinMessageMap : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dialog.Create()); }
    void Click(int id) { ::SendMessageW(::GetDlgItem(dialog.m_hWnd, id), BM_CLICK, 0, 0); }

    MessageBoxRecorder boxes;
    TestApp app;
    DerivedClickDialog dialog;
};

TEST_F(WinMessageMap, ClickReachesTheHandlerOfThatButtonOnly)
{
    Click(IDC_APPLY);
    EXPECT_EQ(dialog.applyClicks, 1);
    EXPECT_EQ(dialog.otherClicks + dialog.derivedOtherClicks, 0);
    EXPECT_EQ(app.applyCommands, 0);  // the dialog's row keeps it from the application
}

TEST_F(WinMessageMap, DerivedRowTakesPrecedenceOverTheBaseRow)
{
    Click(IDC_OTHER);
    EXPECT_EQ(dialog.derivedOtherClicks, 1);
    EXPECT_EQ(dialog.otherClicks, 0);
}

TEST_F(WinMessageMap, OtherNotificationsOfTheButtonDoNotCountAsClicks)
{
    dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_DOUBLECLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(dialog.m_hWnd, IDC_APPLY)));
    EXPECT_EQ(dialog.applyClicks, 0);
    EXPECT_EQ(app.applyCommands, 0);
}

TEST_F(WinMessageMap, OnMessageResultReachesTheSender)
{
    EXPECT_EQ(dialog.SendMessage(WM_TEST_SUM, 20, 22), 42);
}

TEST_F(WinMessageMap, DragIconIsReturnedAsTheMessageResult)
{
    EXPECT_EQ(dialog.SendMessage(WM_QUERYDRAGICON), reinterpret_cast<LRESULT>(dialog.dragIcon));
}

TEST_F(WinMessageMap, PaintHandlerCanLeaveThePaintingToTheDefault)
{
    ::ShowWindow(dialog.m_hWnd, SW_SHOWNA);
    ::InvalidateRect(dialog.m_hWnd, nullptr, TRUE);
    ::UpdateWindow(dialog.m_hWnd);
    EXPECT_EQ(dialog.paints, 1);
    // Default processing validated the window; unhandled, it would stay invalid.
    EXPECT_FALSE(::GetUpdateRect(dialog.m_hWnd, nullptr, FALSE));
}

TEST_F(WinMessageMap, CommandTheDialogDoesNotMapReachesTheApplication)
{
    dialog.SendMessage(WM_COMMAND, MAKEWPARAM(ID_APP_ONLY, 0), 0);
    EXPECT_EQ(app.appOnlyCommands, 1);
}

TEST_F(WinMessageMap, HelpKeyBecomesTheApplicationsHelpCommand)
{
    HELPINFO info{sizeof(HELPINFO), HELPINFO_WINDOW, IDC_TEXT, ::GetDlgItem(dialog.m_hWnd, IDC_TEXT), 0, {0, 0}};
    dialog.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, L"TestApp");
    EXPECT_EQ(boxes.Boxes()[0].text, L"测试：没有帮助。");  // the program's own words
}

}  // namespace
