#pragma once
// Where dialog templates, strings and icons are loaded from: the program's
// own executable (the framework is linked into it statically).

#include <windows.h>

#include "CString.h"

HINSTANCE AfxGetResourceHandle();

// String nID of the program's string table; empty when there is none.
CString AfxLoadString(UINT nID);
