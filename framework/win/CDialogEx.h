#pragma once
// The dialog class the program derives from. It adds nothing to CDialog:
// the native look comes from the manifest.

#include "framework/win/CDialog.h"

class CDialogEx : public CDialog {
public:
    using CDialog::CDialog;
};
