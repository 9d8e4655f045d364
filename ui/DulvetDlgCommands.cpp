// Start and Modify: the form drives the relay.

#include "DulvetDlg.h"
#include "Ipv4Text.h"
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
        ApplyAndShowSettings(Scroll::ToEnd);
        return;
    }
    if (!CheckPortsAndServer() || !OpenRelaySocket())
        return;
    g_relaySocket.m_strServerAddr = m_strSvrIP;
    g_relaySocket.m_nServerPort = m_nSvrPort;
    g_relaySocket.m_strLocalAddr = m_strIP;
    g_relaySocket.m_nLocalPort = m_nPort;
    // The settings and their lines go in once the worker exists, before it
    // takes a datagram. A worker the system will not start leaves no line
    // and no open port behind.
    if (!g_relayWorker.Launch(*this, [this] { ApplyAndShowSettings(Scroll::Stay); })) {
        g_relaySocket.Close();
        AfxMessageBox(IDP_RELAY_NOT_STARTED, MB_OK | MB_ICONERROR);
    }
}

void CDulvetDlg::OnBnClickedModify()
{
    UpdateData(TRUE);
    ApplyAndShowSettings(Scroll::ToEnd);
}

void CDulvetDlg::ApplyAndShowSettings(Scroll scroll)
{
    ApplyLossAndDelay(m_dLossRate, m_nDelayMs, *this);
    WithLogBox([&](EditLogBox& box, HWND) {
        m_strLog.Show(box);
        if (scroll == Scroll::ToEnd)
            ::ScrollLogToEnd(box);
    });
}

bool CDulvetDlg::CheckPortsAndServer() const
{
    // A relay port 0 would bind a port of the system's choosing that the
    // user never learns, larger values would silently wrap, and nothing can
    // be sent to port 0 or to an address 0.x.x.x (which is what an empty
    // address field reads as): say so instead.
    const auto isPort = [](int port) { return port >= 1 && port <= 65535; };
    if (!isPort(m_nPort)) {
        AfxMessageBox(CString::Formatted(L"中继端口 %d 无效：端口必须在 1 到 65535 之间。", m_nPort), MB_OK | MB_ICONERROR);
        return false;
    }
    if (!isPort(m_nSvrPort)) {
        AfxMessageBox(CString::Formatted(L"服务器端口 %d 无效：端口必须在 1 到 65535 之间。", m_nSvrPort),
                      MB_OK | MB_ICONERROR);
        return false;
    }
    const auto server = ParseIpv4(m_strSvrIP.View());
    if (!server || *server >> 24 == 0) {
        const CString shown = server ? FormatIpv4(*server) : m_strSvrIP;
        AfxMessageBox(CString::Formatted(L"服务器地址 %ls 无效：请填写服务器的 IP 地址。", shown.GetString()),
                      MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}

bool CDulvetDlg::OpenRelaySocket()
{
    if (g_relaySocket.Create(static_cast<unsigned>(m_nPort), SOCK_DGRAM, FD_READ, m_strIP))
        return true;
    const int error = g_relaySocket.GetLastError();
    AfxMessageBox(CString::Formatted(L"无法在 %ls:%d 上打开中继端口：%ls\n\n请修改地址或端口后再按“确定”。",
                                     m_strIP.GetString(), m_nPort, CAsyncSocket::ErrorText(error).GetString()),
                  MB_OK | MB_ICONERROR);
    return false;
}
