#include "framework/win/CDataExchange.h"

#include "framework/win/AfxMessageBox.h"
#include "framework/win/CWnd.h"

CDataExchange::CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd)
{
}

HWND CDataExchange::PrepareCtrl(int nID)
{
    if (m_bFailed)
        return nullptr;
    m_hWndLastControl = ::GetDlgItem(m_pDlgWnd->GetSafeHwnd(), nID);
    if (!m_hWndLastControl)
        m_bFailed = true;
    return m_hWndLastControl;
}

void CDataExchange::Fail(const CString& prompt)
{
    if (m_bFailed)
        return;
    m_bFailed = true;
    if (!prompt.IsEmpty())
        AfxMessageBox(prompt, MB_OK | MB_ICONEXCLAMATION);
    FocusField();
}

void CDataExchange::FocusField() const
{
    if (!m_hWndLastControl)
        return;
    // WM_NEXTDLGCTL moves the focus the dialog manager's way (default
    // button state included); the selection lets the user type over the text.
    ::SendMessageW(m_pDlgWnd->GetSafeHwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_hWndLastControl), TRUE);
    ::SendMessageW(m_hWndLastControl, EM_SETSEL, 0, -1);
}
