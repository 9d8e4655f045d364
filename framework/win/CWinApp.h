#pragma once
// The application object: one per program, made as a global. Its
// constructor makes it the one AfxGetApp returns. AfxWinMain runs it:
// InitInstance, then (if that returns TRUE) the message loop in Run.
// Commands that no window handles come to its message map.

#include <windows.h>

#include "framework/win/CCmdTarget.h"
#include "framework/core/CString.h"
#include "framework/win/CWnd.h"
#include "framework/win/MessageMap.h"

// A value for m_dwRestartManagerSupportFlags: the program may be restarted.
#ifndef AFX_RESTART_MANAGER_SUPPORT_RESTART
#define AFX_RESTART_MANAGER_SUPPORT_RESTART 0x01
#endif

class CWinApp : public CCmdTarget {
public:
    // The name defaults to the executable's file name without extension.
    explicit CWinApp(const wchar_t* pszAppName = nullptr);
    ~CWinApp() override;

    // Default: TRUE. Return FALSE to end the program without a message loop.
    virtual BOOL InitInstance();
    // Runs the message loop until WM_QUIT, then returns ExitInstance().
    virtual int Run();
    // Default: the WM_QUIT exit code, 0 when the loop never ran.
    virtual int ExitInstance();

    CWnd* GetMainWnd() const { return m_pMainWnd; }
    const CString& GetAppName() const { return m_strAppName; }

    // Only records the key name: the program keeps no settings in the registry.
    void SetRegistryKey(const wchar_t* pszRegistryKey);
    const CString& GetRegistryKey() const { return m_strRegistryKey; }

    // A shared icon from the executable's resources (never destroyed); null if missing.
    HICON LoadIcon(UINT nIDResource) const;

    // The ID_HELP handler for an application map: says there is no help,
    // in the application's words (AFX_IDP_NO_HELP, StringIds.h).
    afx_msg void OnHelp();

    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    // Recorded only: the program does not register with the restart manager.
    DWORD m_dwRestartManagerSupportFlags = 0;

private:
    CString m_strAppName;
    CString m_strRegistryKey;
    int m_nQuitCode = 0;

    DECLARE_MESSAGE_MAP()
};

// The application object, or null when none exists.
CWinApp* AfxGetApp();
// The application's main window, or null.
CWnd* AfxGetMainWnd();
// The application's name; the executable's name when there is no application object.
CString AfxGetAppName();

// Runs the application object. Returns 0 when InitInstance returns FALSE,
// otherwise what Run returns; -1 when there is no application object.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);
