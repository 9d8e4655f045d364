#include "framework/win/CWinApp.h"

#include <string>

#include "framework/win/AfxMessageBox.h"
#include "framework/win/ResourceModule.h"
#include "framework/win/StringIds.h"

namespace {

CWinApp* g_app = nullptr;

CString ExecutableBaseName()
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size())
        path.resize(path.size() * 2);
    path.resize(length);
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0)
        name.resize(dot);
    return CString(std::move(name));
}

}  // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(const wchar_t* pszAppName)
    : m_strAppName(pszAppName ? CString(pszAppName) : ExecutableBaseName())
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::Run()
{
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        const HWND main = m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : nullptr;
        if (main && ::IsDialogMessageW(main, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (msg.message == WM_QUIT)
        m_nQuitCode = static_cast<int>(msg.wParam);
    return ExitInstance();
}

int CWinApp::ExitInstance()
{
    return m_nQuitCode;
}

void CWinApp::SetRegistryKey(const wchar_t* pszRegistryKey)
{
    m_strRegistryKey = CString(pszRegistryKey);
}

HICON CWinApp::LoadIcon(UINT nIDResource) const
{
    return ::LoadIconW(m_hInstance ? m_hInstance : AfxGetResourceHandle(), MAKEINTRESOURCEW(nIDResource));
}

void CWinApp::OnHelp()
{
    AfxMessageBox(AfxLoadString(AFX_IDP_NO_HELP, L"This program has no help."), MB_OK | MB_ICONINFORMATION);
}

CWinApp* AfxGetApp()
{
    return g_app;
}

CWnd* AfxGetMainWnd()
{
    return g_app ? g_app->GetMainWnd() : nullptr;
}

CString AfxGetAppName()
{
    return g_app ? g_app->GetAppName() : ExecutableBaseName();
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = hInstance;
    if (!app->InitInstance()) {
        app->ExitInstance();
        return 0;
    }
    return app->Run();
}
