#pragma once
// The whole window layer in one include.

#include "AfxEnableControlContainer.h"
#include "AfxMessageBox.h"
#include "CDataExchange.h"
#include "CDialog.h"
#include "CDialogEx.h"
#include "CMFCVisualManager.h"
#include "CMFCVisualManagerWindows.h"
#include "CShellManager.h"
#include "CWinApp.h"
#include "CWnd.h"
#include "CommandIds.h"
#include "DDX_Text.h"
#include "MessageMap.h"
#include "ResourceModule.h"
#include "StringIds.h"
