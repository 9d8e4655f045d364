#include "framework/win/ResourceModule.h"

#include <string>
#include <utility>

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

CString AfxLoadString(UINT nID, std::wstring_view fallback)
{
    CString text = AfxLoadString(nID);
    return text.IsEmpty() ? CString(fallback) : text;
}

CString AfxFormatString(UINT nIDS, std::initializer_list<CString> args)
{
    const CString format = AfxLoadString(nIDS);
    const std::wstring_view text = format.View();
    std::wstring result;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool placeholder = text[i] == L'%' && i + 1 < text.size() && text[i + 1] >= L'1' && text[i + 1] <= L'9';
        const auto index = placeholder ? static_cast<size_t>(text[i + 1] - L'1') : args.size();
        if (index < args.size()) {
            result += args.begin()[index].View();
            ++i;
        } else {
            result += text[i];
        }
    }
    return CString(std::move(result));
}
