#include "ResourceModule.h"

HINSTANCE AfxGetResourceHandle()
{
    return ::GetModuleHandleW(nullptr);
}

CString AfxLoadString(UINT nID)
{
    // With a zero buffer size LoadStringW hands out a pointer into the
    // resource itself; the string there is not terminated.
    const wchar_t* resource = nullptr;
    const int length = ::LoadStringW(AfxGetResourceHandle(), nID, reinterpret_cast<LPWSTR>(&resource), 0);
    return length > 0 && resource ? CString(std::wstring_view(resource, static_cast<size_t>(length))) : CString();
}
