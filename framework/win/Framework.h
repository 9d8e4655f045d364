#pragma once
// The whole window layer in one include.

#include "framework/win/AfxEnableControlContainer.h"
#include "framework/win/AfxMessageBox.h"
#include "framework/win/CDataExchange.h"
#include "framework/win/CDialog.h"
#include "framework/win/CDialogEx.h"
#include "framework/win/CMFCVisualManager.h"
#include "framework/win/CMFCVisualManagerWindows.h"
#include "framework/win/CShellManager.h"
#include "framework/win/CWinApp.h"
#include "framework/win/CWnd.h"
#include "framework/win/CommandIds.h"
#include "framework/win/DDX_Text.h"
#include "framework/win/MessageMap.h"
#include "framework/win/ResourceModule.h"
#include "framework/win/StringIds.h"
