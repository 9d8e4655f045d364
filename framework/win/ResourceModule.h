#pragma once
// Where dialog templates, strings and icons are loaded from: the program's
// own executable (the framework is linked into it statically).

#include <windows.h>

#include <initializer_list>
#include <string_view>

#include "framework/core/CString.h"

HINSTANCE AfxGetResourceHandle();

// String nID of the program's string table; empty when there is none.
CString AfxLoadString(UINT nID);
// The same, or `fallback` when the table has no such string.
CString AfxLoadString(UINT nID, std::wstring_view fallback);

// String nIDS with its placeholders %1 to %9 replaced by the arguments in
// order. A placeholder without an argument stays as it is, so a string that
// asks for more than it is given shows that instead of failing.
CString AfxFormatString(UINT nIDS, std::initializer_list<CString> args);
