#include "AfxMessageBox.h"

#include <string_view>
#include <utility>

#include "CWinApp.h"
#include "ResourceModule.h"

namespace {

MessageBoxHook& Hook()
{
    static MessageBoxHook hook;
    return hook;
}

HWND OwnerWindow()
{
    const CWnd* main = AfxGetMainWnd();
    if (main && ::IsWindow(main->GetSafeHwnd()))
        return main->GetSafeHwnd();
    return ::GetActiveWindow();
}

}  // namespace

int AfxMessageBox(const CString& text, UINT nType)
{
    const CString caption = AfxGetAppName();
    if (Hook())
        return Hook()(text, caption, nType);
    return ::MessageBoxW(OwnerWindow(), text, caption, nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType)
{
    // With a zero buffer size LoadStringW hands out a pointer into the
    // resource itself; the string there is not terminated.
    const wchar_t* resource = nullptr;
    const int length = ::LoadStringW(AfxGetResourceHandle(), nIDPrompt, reinterpret_cast<LPWSTR>(&resource), 0);
    const std::wstring_view text = length > 0 && resource ? std::wstring_view(resource, length) : std::wstring_view();
    return AfxMessageBox(CString(text), nType);
}

MessageBoxHook AfxSetMessageBoxHook(MessageBoxHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}
