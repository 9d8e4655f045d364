// A program that starts through the framework's wWinMain: its application
// object must be running with the program's instance; exit code 0 says so.
#include "framework/win/CWinApp.h"

namespace {

class SmokeApp : public CWinApp {
public:
    BOOL InitInstance() override
    {
        if (AfxGetApp() != this || m_hInstance != ::GetModuleHandleW(nullptr))
            ::ExitProcess(2);
        return FALSE;
    }
};

SmokeApp theApp;

}  // namespace
