#pragma once
// The application: prepares the platform, runs the main dialog until it is
// closed, and ends the program.

#include "framework/win/Framework.h"

class CDulvetApp : public CWinApp {
public:
    CDulvetApp();

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern CDulvetApp theApp;
