#include "framework/win/AfxMessageBox.h"

#include <string_view>
#include <utility>

#include "framework/win/CWinApp.h"
#include "framework/win/ResourceModule.h"

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
    return AfxMessageBox(AfxLoadString(nIDPrompt), nType);
}

MessageBoxHook AfxSetMessageBoxHook(MessageBoxHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}
