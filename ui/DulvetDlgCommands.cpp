// Start and Modify: the form drives the relay.

#include "ui/DulvetDlg.h"
#include "framework/core/Ipv4Text.h"
#include "relay/RelaySettings.h"
#include "relay/RelayState.h"
#include "relay/RelayWorker.h"
#include "ui/SocketErrorReason.h"
#include "framework/core/SocketTypes.h"

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
        AfxMessageBox(AfxFormatString(IDP_RELAY_PORT_INVALID, {CString::Formatted(L"%d", m_nPort)}),
                      MB_OK | MB_ICONERROR);
        return false;
    }
    if (!isPort(m_nSvrPort)) {
        AfxMessageBox(AfxFormatString(IDP_SERVER_PORT_INVALID, {CString::Formatted(L"%d", m_nSvrPort)}),
                      MB_OK | MB_ICONERROR);
        return false;
    }
    const auto server = ParseIpv4(m_strSvrIP.View());
    if (!server || *server >> 24 == 0) {
        const CString shown = server ? FormatIpv4(*server) : m_strSvrIP;
        AfxMessageBox(AfxFormatString(IDP_SERVER_ADDRESS_INVALID, {shown}), MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}

bool CDulvetDlg::OpenRelaySocket()
{
    if (g_relaySocket.Create(static_cast<unsigned>(m_nPort), SOCK_DGRAM, FD_READ, m_strIP))
        return true;
    AfxMessageBox(AfxFormatString(IDP_RELAY_PORT_NOT_OPENED, {m_strIP, CString::Formatted(L"%d", m_nPort),
                                                              SocketErrorReason(g_relaySocket.GetLastError())}),
                  MB_OK | MB_ICONERROR);
    return false;
}
