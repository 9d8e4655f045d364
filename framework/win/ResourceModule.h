#pragma once
// Where dialog templates, strings and icons are loaded from: the program's
// own executable (the framework is linked into it statically).

#include <windows.h>

HINSTANCE AfxGetResourceHandle();
