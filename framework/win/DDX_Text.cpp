#include "DDX_Text.h"

#include <commctrl.h>

#include <iterator>

#include "CWnd.h"
#include "Ipv4Text.h"
#include "NumberText.h"

namespace {

CString TextOf(HWND control)
{
    CString text;
    CWnd(control).GetWindowText(text);
    return text;
}

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
// exchange with the prompt when the text is not a number of that kind.
template <typename Number, typename Parse>
void ExchangeNumber(CDataExchange* pDX, int nIDC, Number& value, const wchar_t* format, Parse parse,
                    const wchar_t* prompt)
{
    const HWND control = pDX->PrepareCtrl(nIDC);
    if (!control)
        return;
    if (!pDX->m_bSaveAndValidate) {
        ::SetWindowTextW(control, CString::Formatted(format, value));
        return;
    }
    if (auto parsed = parse(TextOf(control).View()))
        value = *parsed;
    else
        pDX->Fail(prompt);
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
        value = TextOf(control);
    else
        ::SetWindowTextW(control, value);
}

void DDX_Text(CDataExchange* pDX, int nIDC, int& value)
{
    ExchangeNumber(pDX, nIDC, value, L"%d", ParseInt32, L"请输入一个整数。");
}

void DDX_Text(CDataExchange* pDX, int nIDC, double& value)
{
    ExchangeNumber(pDX, nIDC, value, L"%.15g", ParseDouble, L"请输入一个数字。");
}
