#include "ui/DulvetDlg.h"

#include "ui/LogExchange.h"
#include "relay/RelayWorker.h"

namespace {

// Runs while the log box is not redrawn (see PaceLogBoxRedraw).
constexpr UINT_PTR kLogRedrawTimer = CDulvetDlg::kLogHoldTimer + 1;
constexpr UINT kRedrawWhileBehindMilliseconds = 1000;

// (Re)starts the hold timer with the hold the log asks for after its latest
// refresh; a running timer takes the new period.
void ArmLogHold(HWND dialog, const ActivityLog& log)
{
    ::SetTimer(dialog, CDulvetDlg::kLogHoldTimer, static_cast<UINT>(log.CurrentHold().count()), nullptr);
}

void RedrawLogBox(HWND dialog, HWND box)
{
    ::KillTimer(dialog, kLogRedrawTimer);
    ::SendMessageW(box, WM_SETREDRAW, TRUE, 0);
    ::RedrawWindow(box, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
}

// While the box is behind the log it takes the new text in parts, and is
// redrawn once a second instead of after each part (under Wine, drawing a
// box that holds a long log costs as much as adding a part); it is redrawn
// at once when it has caught up. Turning redraw off clears the box's
// visible style, which is how the state is told.
void PaceLogBoxRedraw(HWND dialog, HWND box, const ActivityLog& log)
{
    const bool drawing = (::GetWindowLongW(box, GWL_STYLE) & WS_VISIBLE) != 0;
    if (log.Behind() && drawing) {
        ::SendMessageW(box, WM_SETREDRAW, FALSE, 0);
        ::SetTimer(dialog, kLogRedrawTimer, kRedrawWhileBehindMilliseconds, nullptr);
    } else if (!log.Behind() && !drawing) {
        RedrawLogBox(dialog, box);
    }
}

}  // namespace

CDulvetDlg::CDulvetDlg(CWnd* pParent)
    : CDialogEx(IDD_DULVET_DIALOG, pParent),
      m_hIcon(AfxGetApp() ? AfxGetApp()->LoadIcon(IDR_MAINFRAME) : nullptr),
      m_strLog([this] { WakeForLogRefresh(); })
{
}

CDulvetDlg::~CDulvetDlg()
{
    // The worker logs through this object: it must be gone first.
    g_relayWorker.Stop();
}

void CDulvetDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_LOG, m_strLog);
    DDX_Text(pDX, IDC_PORT, m_nPort);
    DDX_Text(pDX, IDC_SERVER_PORT, m_nSvrPort);
    DDX_Text(pDX, IDC_DELAY, m_nDelayMs);
    DDX_Text(pDX, IDC_LOSS_RATE, m_dLossRate);
    DDX_Text(pDX, IDC_IP, m_strIP);
    DDX_Text(pDX, IDC_SERVER_IP, m_strSvrIP);
}

BEGIN_MESSAGE_MAP(CDulvetDlg, CDialogEx)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDOK, &CDulvetDlg::OnBnClickedOk)
    ON_BN_CLICKED(IDC_MODIFY, &CDulvetDlg::OnBnClickedModify)
    ON_MESSAGE(CDulvetDlg::WM_LOG_REFRESH, &CDulvetDlg::OnLogRefresh)
    ON_MESSAGE(WM_TIMER, &CDulvetDlg::OnTimer)
    ON_MESSAGE(WM_DESTROY, &CDulvetDlg::OnDestroyWindow)
END_MESSAGE_MAP()

void CDulvetDlg::PrepareLogBox()
{
    // An edit control takes about 32 K characters unless told otherwise;
    // the log has no limit of its own.
    if (CWnd* box = GetDlgItem(IDC_LOG))
        box->SendMessage(EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    m_hLogTarget.store(m_hWnd);
}

void CDulvetDlg::AppendLog(const CString& line) { m_strLog.Append(line); }

void CDulvetDlg::ScrollLogToEnd() { m_strLog.RequestScroll(); }

void CDulvetDlg::WakeForLogRefresh()
{
    if (const HWND target = m_hLogTarget.load())
        ::PostMessageW(target, WM_LOG_REFRESH, 0, 0);
}

LRESULT CDulvetDlg::OnLogRefresh(WPARAM, LPARAM)
{
    WithLogBox([this](EditLogBox& box, HWND boxWindow) {
        m_strLog.OnWake(box);
        ArmLogHold(m_hWnd, m_strLog);
        PaceLogBoxRedraw(m_hWnd, boxWindow, m_strLog);
    });
    return 0;
}

LRESULT CDulvetDlg::OnTimer(WPARAM timerId, LPARAM)
{
    if (timerId == kLogRedrawTimer) {
        WithLogBox([this](EditLogBox&, HWND boxWindow) { RedrawLogBox(m_hWnd, boxWindow); });
        return 0;
    }
    if (timerId != kLogHoldTimer)
        return 0;
    bool holding = false;
    WithLogBox([&](EditLogBox& box, HWND boxWindow) {
        holding = m_strLog.OnHoldExpired(box);
        if (holding) {
            ArmLogHold(m_hWnd, m_strLog);
            PaceLogBoxRedraw(m_hWnd, boxWindow, m_strLog);
        }
    });
    if (!holding)
        ::KillTimer(m_hWnd, kLogHoldTimer);
    return 0;
}

LRESULT CDulvetDlg::OnDestroyWindow(WPARAM, LPARAM)
{
    m_hLogTarget.store(nullptr);
    return Default();
}
