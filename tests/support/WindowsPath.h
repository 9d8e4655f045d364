#pragma once
// A path that the build hands a Windows test program, as the build machine
// wrote it: under Wine a Unix path is reached through drive Z:.

#include <string>

#include "framework/core/CString.h"

inline std::wstring WindowsPathOf(const char* buildPath)
{
    std::wstring path(CString::FromUtf8(buildPath).View());
    if (!path.empty() && path[0] == L'/') {
        for (auto& c : path)
            if (c == L'/')
                c = L'\\';
        path = L"Z:" + path;
    }
    return path;
}
