// The program's entry point: hands over to the application object. Linked
// into the executable as an object file (target dulvet_winmain), because
// the C runtime looks for wWinMain only after the program's libraries.

#include <windows.h>

#include "framework/win/CWinApp.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow)
{
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
