#pragma once
// Message boxes owned by the main window (or the active one), captioned
// with the application's name. Returns the id of the button pressed.

#include <windows.h>

#include <functional>

#include "framework/core/CString.h"

int AfxMessageBox(const CString& text, UINT nType = MB_OK);
// The text is string nIDPrompt of the program's string table.
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK);

// Replaces the system message box for every later AfxMessageBox, so that
// tests (and anything else that must not block on a box) can see what
// would have been shown and choose the answer. An empty hook restores the
// system box. Returns the hook it replaces.
using MessageBoxHook = std::function<int(const CString& text, const CString& caption, UINT nType)>;
MessageBoxHook AfxSetMessageBoxHook(MessageBoxHook hook);
