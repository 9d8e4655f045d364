#include "ResourceModule.h"

HINSTANCE AfxGetResourceHandle()
{
    return ::GetModuleHandleW(nullptr);
}
