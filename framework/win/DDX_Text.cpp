#include "framework/win/DDX_Text.h"

#include <commctrl.h>

#include <iterator>

#include "framework/win/CWnd.h"
#include "framework/core/Ipv4Text.h"
#include "framework/core/NumberText.h"
#include "framework/win/ResourceModule.h"
#include "framework/win/StringIds.h"

namespace {

bool IsIpAddressControl(HWND control)
{
    wchar_t className[32] = {};
    ::GetClassNameW(control, className, static_cast<int>(std::size(className)));
    return ::lstrcmpiW(className, WC_IPADDRESSW) == 0;
}

void ExchangeIpAddress(CDataExchange* pDX, HWND control, CString& value)
{
    if (pDX->m_bSaveAndValidate) {
        DWORD address = 0;
        ::SendMessageW(control, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
        value = FormatIpv4(address);
        return;
    }
    if (auto address = ParseIpv4(value.View()))
        ::SendMessageW(control, IPM_SETADDRESS, 0, static_cast<LPARAM>(*address));
    else
        ::SendMessageW(control, IPM_CLEARADDRESS, 0, 0);
}

// Writes the number with the format; reads it with parse, failing the
// exchange with the application's prompt when the text is not a number of
// that kind.
template <typename Number, typename Parse>
void ExchangeNumber(CDataExchange* pDX, int nIDC, Number& value, const wchar_t* format, Parse parse,
                    UINT promptId, const wchar_t* fallbackPrompt)
{
    const HWND control = pDX->PrepareCtrl(nIDC);
    if (!control)
        return;
    if (!pDX->m_bSaveAndValidate) {
        ::SetWindowTextW(control, CString::Formatted(format, value));
        return;
    }
    CString text;
    CWnd(control).GetWindowText(text);
    if (auto parsed = parse(text.View()))
        value = *parsed;
    else
        pDX->Fail(AfxLoadString(promptId, fallbackPrompt));
}

}  // namespace

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value)
{
    HWND control = pDX->PrepareCtrl(nIDC);
    if (!control)
        return;
    if (IsIpAddressControl(control))
        ExchangeIpAddress(pDX, control, value);
    else if (pDX->m_bSaveAndValidate)
        CWnd(control).GetWindowText(value);
    else
        ::SetWindowTextW(control, value);
}

void DDX_Text(CDataExchange* pDX, int nIDC, int& value)
{
    ExchangeNumber(pDX, nIDC, value, L"%d", ParseInt32, AFX_IDP_PARSE_INT, L"Please enter an integer.");
}

void DDX_Text(CDataExchange* pDX, int nIDC, double& value)
{
    ExchangeNumber(pDX, nIDC, value, L"%.15g", ParseDouble, AFX_IDP_PARSE_REAL, L"Please enter a number.");
}
