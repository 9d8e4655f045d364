#include "framework/win/CDialog.h"

#include <commctrl.h>

#include "framework/win/CommandIds.h"
#include "framework/win/ResourceModule.h"

namespace {

// The dialog templates use common controls such as SysIPAddress32; their
// window classes must be registered before a dialog is made.
void EnsureCommonControls()
{
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES};
        return ::InitCommonControlsEx(&controls) != FALSE;
    }();
    static_cast<void>(registered);
}

// Messages whose result a dialog procedure returns itself instead of
// leaving it in DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message)
{
    switch (message) {
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_VKEYTOITEM:
        return true;
    default:
        return false;
    }
}

HWND HandleOf(const CWnd* wnd)
{
    return wnd ? wnd->GetSafeHwnd() : nullptr;
}

}  // namespace

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
    ON_MESSAGE(WM_HELP, &CDialog::OnHelpMessage)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog()
{
    if (m_hWnd && !m_bModal) {
        // The derived parts are gone: the last messages get default processing.
        ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        ::DestroyWindow(m_hWnd);
    }
}

INT_PTR CDialog::DoModal()
{
    if (m_hWnd)
        return -1;
    EnsureCommonControls();
    m_bModal = true;
    m_endResult.reset();
    const INT_PTR result = ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate),
                                             HandleOf(m_pParentWnd), &CDialog::DialogProc,
                                             reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    m_bModal = false;
    return result;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd)
{
    if (m_hWnd)
        return FALSE;
    if (nIDTemplate != 0)
        m_nIDTemplate = nIDTemplate;
    if (pParentWnd)
        m_pParentWnd = pParentWnd;
    EnsureCommonControls();
    m_bModal = false;
    m_endResult.reset();
    const HWND hWnd = ::CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate),
                                           HandleOf(m_pParentWnd), &CDialog::DialogProc,
                                           reinterpret_cast<LPARAM>(this));
    return hWnd ? TRUE : FALSE;
}

BOOL CDialog::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    const BOOL destroyed = ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    return destroyed;
}

void CDialog::EndDialog(int nResult)
{
    m_endResult = nResult;
    if (!m_hWnd)
        return;
    if (m_bModal)
        ::EndDialog(m_hWnd, nResult);
    else
        ::ShowWindow(m_hWnd, SW_HIDE);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

LRESULT CDialog::OnHelpMessage(WPARAM, LPARAM)
{
    SendMessage(WM_COMMAND, MAKEWPARAM(ID_HELP, 0), 0);
    return TRUE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        self->m_hWnd = hWnd;
        const BOOL result = self->OnInitDialog();
        // Where a dialog is expected: over its owner, or in the middle of
        // the screen. The dialog manager shows it only after this message.
        if (::IsWindow(hWnd) && !(::GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD))
            CWnd(hWnd).CenterWindow();
        return result;
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) find no object yet.
    auto* self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
    if (!self)
        return FALSE;
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        return FALSE;
    }
    return self->HandleMessage(hWnd, message, wParam, lParam);
}

INT_PTR CDialog::HandleMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, result))
        return FALSE;
    if (ReturnsResultDirectly(message))
        return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}
