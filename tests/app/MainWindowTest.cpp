// The main window as a person meets it: what it shows at first, how it
// reads the form, how it ends, and its About box.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "tests/support/DulvetProcess.h"
#include "tests/support/UdpPeer.h"
#include "res/resource.h"

using namespace std::chrono_literals;

TEST(MainWindow, FreshWindowShowsZerosAnEmptyLogAndZeroAddresses)
{
    DulvetProcess dulvet;
    ASSERT_TRUE(dulvet.IsReady());
    EXPECT_EQ(DulvetProcess::WindowText(dulvet.Dialog()), CString(L"Dulvet"));
    for (int id : {IDC_PORT, IDC_SERVER_PORT, IDC_DELAY, IDC_LOSS_RATE})
        EXPECT_EQ(dulvet.FieldText(id), CString(L"0")) << id;
    EXPECT_TRUE(dulvet.FieldText(IDC_LOG).IsEmpty());
    for (int id : {IDC_IP, IDC_SERVER_IP}) {
        EXPECT_EQ(SendMessageW(dulvet.Control(id), IPM_ISBLANK, 0, 0), 0) << id;
        EXPECT_EQ(dulvet.FieldText(id), CString(L"0.0.0.0")) << id;
    }
}

TEST(MainWindow, NonNumericLossRatePromptsAndLeavesItAndLaterFieldsAsTheyWere)
{
    DulvetProcess dulvet;
    ASSERT_TRUE(dulvet.IsReady());
    dulvet.SetField(IDC_DELAY, L"30");
    dulvet.Click(IDC_MODIFY);  // delay 30, loss 0 now in the form's members
    ASSERT_TRUE(dulvet.WaitForLogLines(3));

    dulvet.SetField(IDC_DELAY, L"70");
    dulvet.SetField(IDC_LOSS_RATE, L"abc");
    dulvet.Click(IDC_MODIFY);
    const HWND prompt = dulvet.WaitForOtherWindow();
    ASSERT_TRUE(prompt);
    EXPECT_FALSE(DulvetProcess::MessageBoxText(prompt).IsEmpty());
    PostMessageW(prompt, WM_COMMAND, IDOK, 0);
    // Delay comes before the loss rate in the exchange, so it was read; the
    // loss rate keeps its previous value; Modify goes on with them.
    ASSERT_TRUE(dulvet.WaitForLogLines(6));
    EXPECT_EQ(dulvet.LogText(), CString(L"Dulvet Ready!\r\nMisscount :0 .\r\nDelay :30 ms .\r\n"
                                        L"Dulvet Ready!\r\nMisscount :0 .\r\nDelay :70 ms .\r\n"));
}

TEST(MainWindow, EscapeEndsTheProgramBeforeStart)
{
    DulvetProcess dulvet;
    ASSERT_TRUE(dulvet.IsReady());
    const unsigned port = DulvetProcess::FreePort();
    dulvet.SetField(IDC_PORT, CString::Formatted(L"%u", port));
    dulvet.PressKey(IDC_PORT, VK_ESCAPE);
    EXPECT_TRUE(dulvet.CloseAndWait(WM_NULL)) << "still running long after Escape";
}

TEST(MainWindow, CloseBoxEndsTheProgramWhileTheRelayRuns)
{
    DulvetProcess dulvet;
    ASSERT_TRUE(dulvet.IsReady());
    UdpPeer server;
    StartRelay(dulvet, DulvetProcess::FreePort(), server.Port());
    ASSERT_TRUE(dulvet.WaitForLogLines(3));
    EXPECT_TRUE(dulvet.CloseAndWait(WM_SYSCOMMAND, SC_CLOSE)) << "still running long after the close";
}

namespace {

POINT CentreOf(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

}  // namespace

TEST(MainWindow, OpensCentredOnTheWorkAreaAndTheAboutBoxOverIt)
{
    DulvetProcess dulvet;
    ASSERT_TRUE(dulvet.IsReady());
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(dulvet.Dialog(), MONITOR_DEFAULTTONEAREST), &monitor));
    const RECT& area = monitor.rcWork;
    const POINT main = CentreOf(dulvet.Dialog());
    EXPECT_NEAR(main.x, (area.left + area.right) / 2, 1);
    EXPECT_NEAR(main.y, (area.top + area.bottom) / 2, 1);

    dulvet.SystemCommand(IDM_ABOUTBOX);
    const HWND about = dulvet.WaitForOtherWindow();
    ASSERT_TRUE(about);
    const POINT over = CentreOf(about);
    EXPECT_NEAR(over.x, main.x, 1);
    EXPECT_NEAR(over.y, main.y, 1);
}

TEST(AboutBox, SystemCommandsFrom0x10To0x1FOpenItAndClosingItLeavesTheWindowAsItWas)
{
    DulvetProcess dulvet;
    ASSERT_TRUE(dulvet.IsReady());
    dulvet.SetField(IDC_DELAY, L"12");
    dulvet.Click(IDC_MODIFY);
    ASSERT_TRUE(dulvet.WaitForLogLines(3));
    const CString logBefore = dulvet.LogText();

    for (UINT command : {0x0010u, 0x0011u, 0x001Fu}) {
        dulvet.SystemCommand(command);
        const HWND about = dulvet.WaitForOtherWindow();
        ASSERT_TRUE(about) << command;
        EXPECT_EQ(DulvetProcess::WindowText(about), CString(L"关于 Dulvet"));
        PostMessageW(about, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(DulvetProcess::WaitUntilGone(about));
    }
    EXPECT_EQ(dulvet.LogText(), logBefore);
    EXPECT_EQ(dulvet.FieldText(IDC_DELAY), CString(L"12"));
    EXPECT_FALSE(dulvet.HasExited());
}

TEST(AboutBox, OtherSystemCommandsKeepTheirUsualMeaning)
{
    DulvetProcess dulvet;
    ASSERT_TRUE(dulvet.IsReady());
    dulvet.SystemCommand(0x0020);  // not ours: the system ignores it
    // Modify, pressed after it, has been handled once its lines show: an
    // About box the command opened would exist by then, shown as soon as
    // the dialog is idle.
    dulvet.Click(IDC_MODIFY);
    ASSERT_TRUE(dulvet.WaitForLogLines(3));
    EXPECT_FALSE(dulvet.WaitForOtherWindow(2s));
    EXPECT_TRUE(dulvet.CloseAndWait(WM_SYSCOMMAND, SC_CLOSE));
}
