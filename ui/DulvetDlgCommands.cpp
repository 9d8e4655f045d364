// Start and Modify: the form drives the relay.

#include "DulvetDlg.h"
#include "EditLogBox.h"
#include "RelaySettings.h"
#include "RelayState.h"
#include "RelayWorker.h"
#include "SocketTypes.h"

void CDulvetDlg::OnBnClickedOk()
{
    // A field that does not convert keeps its previous value; go on with it.
    UpdateData(TRUE);
    if (g_relayWorker.IsRunning()) {
        // Start again (a second click, or Enter in a field): the socket and
        // the worker stay; the new loss rate and delay apply, as with Modify.
        OnBnClickedModify();
        return;
    }
    if (!OpenRelaySocket())
        return;
    g_relaySocket.m_strServerAddr = m_strSvrIP;
    g_relaySocket.m_nServerPort = m_nSvrPort;
    g_relaySocket.m_strLocalAddr = m_strIP;
    g_relaySocket.m_nLocalPort = m_nPort;
    ApplyLossAndDelay(m_dLossRate, m_nDelayMs, *this);
    if (CWnd* box = GetDlgItem(IDC_LOG)) {
        EditLogBox edit(box->GetSafeHwnd());
        m_strLog.Show(edit);
    }
    g_relayWorker.Launch(*this);
}

void CDulvetDlg::OnBnClickedModify()
{
    UpdateData(TRUE);
    ApplyLossAndDelay(m_dLossRate, m_nDelayMs, *this);
    if (CWnd* box = GetDlgItem(IDC_LOG)) {
        EditLogBox edit(box->GetSafeHwnd());
        m_strLog.Show(edit);
        ::ScrollLogToEnd(edit);
    }
}

bool CDulvetDlg::OpenRelaySocket()
{
    // Port 0 would bind a port of the system's choosing that the user never
    // learns, and larger values would silently wrap: say so instead.
    if (m_nPort < 1 || m_nPort > 65535) {
        AfxMessageBox(CString::Formatted(L"中继端口 %d 无效：端口必须在 1 到 65535 之间。", m_nPort), MB_OK | MB_ICONERROR);
        return false;
    }
    if (g_relaySocket.Create(static_cast<unsigned>(m_nPort), SOCK_DGRAM, FD_READ, m_strIP))
        return true;
    const int error = g_relaySocket.GetLastError();
    AfxMessageBox(CString::Formatted(L"无法在 %ls:%d 上打开中继端口：%ls\n\n请修改地址或端口后再按“确定”。",
                                     m_strIP.GetString(), m_nPort, CAsyncSocket::ErrorText(error).GetString()),
                  MB_OK | MB_ICONERROR);
    return false;
}
