#pragma once
// The About box: name, version and notice, closed with its OK button.

#include "framework/win/Framework.h"
#include "res/resource.h"

class CAboutDlg : public CDialogEx {
public:
    explicit CAboutDlg(CWnd* pParent = nullptr) : CDialogEx(IDD_ABOUTBOX, pParent) {}
    enum { IDD = IDD_ABOUTBOX };

protected:
    DECLARE_MESSAGE_MAP()
};
