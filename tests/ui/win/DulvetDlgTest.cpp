// The main dialog inside this process: what can only be seen from within
// (its system menu, icons, and how a form reading treats the log).

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "framework/core/CAsyncSocket.h"
#include "tests/support/CStringPrinter.h"
#include "ui/DulvetDlg.h"
#include "relay/RelayState.h"
#include "relay/RelayWorker.h"
#include "ui/SocketErrorReason.h"
#include "framework/core/SocketTypes.h"
#include "tests/support/UdpPeer.h"
#include "tests/framework/win/WinTestSupport.h"

namespace {

// The dialog loads its icon through the application object.
CWinApp g_testApp;

class OpenDialog : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dlg.Create()); }
    void TearDown() override { m_dlg.DestroyWindow(); }

    CString BoxText() const
    {
        CString text;
        m_dlg.GetDlgItem(IDC_LOG)->GetWindowText(text);
        return text;
    }

    // Fills the form for a relay on 127.0.0.1:relayPort and presses Start.
    void Start(unsigned relayPort, unsigned serverPort)
    {
        SetDlgItemInt(m_dlg.m_hWnd, IDC_PORT, relayPort, FALSE);
        SetDlgItemInt(m_dlg.m_hWnd, IDC_SERVER_PORT, serverPort, FALSE);
        SendDlgItemMessageW(m_dlg.m_hWnd, IDC_IP, IPM_SETADDRESS, 0, MAKEIPADDRESS(127, 0, 0, 1));
        SendDlgItemMessageW(m_dlg.m_hWnd, IDC_SERVER_IP, IPM_SETADDRESS, 0, MAKEIPADDRESS(127, 0, 0, 1));
        m_dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                          reinterpret_cast<LPARAM>(GetDlgItem(m_dlg.m_hWnd, IDOK)));
    }

    CDulvetDlg m_dlg;
};

std::unique_ptr<StopSignal> RefusedStopSignal() { return std::make_unique<StopSignal>(StopSignal::kNoHandle); }
std::unique_ptr<CWinThread> RefusedThread(AFX_THREADPROC, void*) { return nullptr; }

CString MenuItemText(HMENU menu, int position)
{
    wchar_t text[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 128, MF_BYPOSITION);
    return CString(text);
}

}  // namespace

TEST_F(OpenDialog, SystemMenuEndsWithASeparatorAndTheAboutEntry)
{
    const HMENU menu = GetSystemMenu(m_dlg.m_hWnd, FALSE);
    ASSERT_TRUE(menu);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_EQ(GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION) & MF_SEPARATOR, MF_SEPARATOR);
    EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
    EXPECT_EQ(MenuItemText(menu, count - 1), CString(L"关于 Dulvet(&A)..."));
}

TEST_F(OpenDialog, BigAndSmallIconsAndTheDragIconAreTheApplicationIcon)
{
    ASSERT_TRUE(m_dlg.m_hIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(m_dlg.SendMessage(WM_GETICON, ICON_BIG)), m_dlg.m_hIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(m_dlg.SendMessage(WM_GETICON, ICON_SMALL)), m_dlg.m_hIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(m_dlg.SendMessage(WM_QUERYDRAGICON)), m_dlg.m_hIcon);
}

TEST_F(OpenDialog, ReadingTheFormTakesFieldsInOrderAndNeverAltersTheLog)
{
    m_dlg.AppendLog(L"Dulvet Ready!\r\n");
    PumpPendingMessages();
    ASSERT_EQ(BoxText(), CString(L"Dulvet Ready!\r\n"));

    // A line the worker has appended but the box does not show yet.
    m_dlg.AppendLog(L"count:1.\r\n");
    SetDlgItemTextW(m_dlg.m_hWnd, IDC_PORT, L"4000");
    SetDlgItemTextW(m_dlg.m_hWnd, IDC_SERVER_PORT, L"5000");
    SetDlgItemTextW(m_dlg.m_hWnd, IDC_DELAY, L"-7");
    SetDlgItemTextW(m_dlg.m_hWnd, IDC_LOSS_RATE, L"12.5");
    SendDlgItemMessageW(m_dlg.m_hWnd, IDC_IP, IPM_SETADDRESS, 0, MAKEIPADDRESS(127, 0, 0, 1));
    SendDlgItemMessageW(m_dlg.m_hWnd, IDC_SERVER_IP, IPM_SETADDRESS, 0, MAKEIPADDRESS(10, 0, 0, 20));
    ASSERT_TRUE(m_dlg.UpdateData(TRUE));

    EXPECT_EQ(m_dlg.m_nPort, 4000);
    EXPECT_EQ(m_dlg.m_nSvrPort, 5000);
    EXPECT_EQ(m_dlg.m_nDelayMs, -7);
    EXPECT_EQ(m_dlg.m_dLossRate, 12.5);
    EXPECT_EQ(m_dlg.m_strIP, CString(L"127.0.0.1"));
    EXPECT_EQ(m_dlg.m_strSvrIP, CString(L"10.0.0.20"));
    EXPECT_EQ(m_dlg.m_strLog.Text(), CString(L"Dulvet Ready!\r\ncount:1.\r\n"));

    // Writing the form brings the box up to date with the whole log.
    m_dlg.UpdateData(FALSE);
    EXPECT_EQ(BoxText(), CString(L"Dulvet Ready!\r\ncount:1.\r\n"));
}

TEST_F(OpenDialog, ManyWorkerLinesEndShownWholeAndScrolledToTheEnd)
{
    for (int i = 0; i < 2000; ++i)
        m_dlg.AppendLog(CString::Formatted(L"count:%d.\r\n", i));
    const DWORD deadline = GetTickCount() + 60000;  // Wine's edit control is slow on a loaded machine
    while (BoxText() != m_dlg.m_strLog.Text() && GetTickCount() < deadline) {
        PumpPendingMessages();
        Sleep(5);
    }
    ASSERT_EQ(BoxText(), m_dlg.m_strLog.Text());
    const HWND box = GetDlgItem(m_dlg.m_hWnd, IDC_LOG);
    const auto lines = static_cast<int>(SendMessageW(box, EM_GETLINECOUNT, 0, 0));
    const auto first = static_cast<int>(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0));
    EXPECT_GT(first, lines - 20) << "the last line is in view";
}

TEST_F(OpenDialog, StartThatCannotStartTheRelaySaysSoAndLeavesThePortFree)
{
    ASSERT_TRUE(AfxSocketInit());
    UdpPeer server;
    RelayWorker::Resources noStopSignal;
    noStopSignal.makeStopSignal = &RefusedStopSignal;
    RelayWorker::Resources noThread;
    noThread.beginThread = &RefusedThread;
    for (const auto& refusing : {noStopSignal, noThread}) {
        MessageBoxRecorder boxes;
        CAsyncSocket probe;
        ASSERT_TRUE(probe.Create(0, SOCK_DGRAM, FD_READ, L"127.0.0.1"));
        const unsigned relayPort = probe.GetLocalPort();
        probe.Close();

        g_relayWorker.UseResources(refusing);
        Start(relayPort, server.Port());
        g_relayWorker.UseResources({});

        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].text, AfxLoadString(IDP_RELAY_NOT_STARTED));
        EXPECT_FALSE(g_relayWorker.IsRunning());
        EXPECT_FALSE(g_relaySocket.IsOpen());
        EXPECT_TRUE(probe.Create(relayPort, SOCK_DGRAM, FD_READ, L"127.0.0.1")) << "the relay port is still held";
        EXPECT_TRUE(m_dlg.m_strLog.Text().IsEmpty()) << "no Ready line for a relay that did not start";
    }
}

TEST_F(OpenDialog, PortInUseIsReportedWithAReasonInWordsAndTheNumber)
{
    ASSERT_TRUE(AfxSocketInit());
    MessageBoxRecorder boxes;
    UdpPeer server;
    UdpPeer squatter;
    Start(squatter.Port(), server.Port());
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    const CString& message = boxes.Boxes()[0].text;
    EXPECT_NE(message.View().find(CString::Formatted(L"127.0.0.1:%u", squatter.Port()).View()), std::wstring::npos)
        << message.ToUtf8();
    // The system's own words where it has them (Wine has none), else ours.
    const CString system = CAsyncSocket::SystemErrorText(WSAEADDRINUSE);
    const CString reason = system.IsEmpty() ? CString(L"该地址和端口已被占用（错误 10048）") : system;
    EXPECT_NE(message.View().find(reason.View()), std::wstring::npos) << message.ToUtf8();
    EXPECT_FALSE(g_relayWorker.IsRunning());
}

TEST(SocketErrorReason, TheCommonCausesHaveWordsAndTheRestTheirNumber)
{
    const std::pair<int, const wchar_t*> reasons[] = {{WSAEADDRINUSE, L"该地址和端口已被占用（错误 10048）"},
                                                      {WSAEADDRNOTAVAIL, L"该地址不是本机的地址（错误 10049）"},
                                                      {WSAEACCES, L"没有使用该地址和端口的权限（错误 10013）"},
                                                      {123456, L"错误 123456"}};
    for (const auto& [code, ours] : reasons) {
        const CString system = CAsyncSocket::SystemErrorText(code);
        EXPECT_EQ(SocketErrorReason(code), system.IsEmpty() ? CString(ours) : system) << code;
    }
}
