#include "app/DulvetApp.h"

#include <commctrl.h>

#include "framework/core/CAsyncSocket.h"
#include "ui/DulvetDlg.h"
#include "res/resource.h"

BEGIN_MESSAGE_MAP(CDulvetApp, CWinApp)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CDulvetApp::CDulvetApp()
{
    m_dwRestartManagerSupportFlags = AFX_RESTART_MANAGER_SUPPORT_RESTART;
}

CDulvetApp theApp;

BOOL CDulvetApp::InitInstance()
{
    // The address entries' class is not among these; the system registers
    // it when the dialog is built.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    CWinApp::InitInstance();

    if (!AfxSocketInit()) {
        AfxMessageBox(IDP_SOCKETS_INIT_FAILED);
        return FALSE;
    }

    AfxEnableControlContainer();
    [[maybe_unused]] CShellManager shellManager;  // owned here, gone when the dialog is
    CMFCVisualManager::SetDefaultManager(RUNTIME_CLASS(CMFCVisualManagerWindows));
    SetRegistryKey(L"应用程序向导生成的本地应用程序");

    CDulvetDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;

    // No message loop of our own: returning FALSE ends the program.
    return FALSE;
}
