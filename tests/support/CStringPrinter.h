#pragma once
// Lets GoogleTest print texts in failure messages, as UTF-8 with visible
// line ends.

#include <ostream>
#include <string>

#include "framework/core/CString.h"

inline void PrintTo(const CString& text, std::ostream* out)
{
    std::string shown;
    for (char c : text.ToUtf8()) {
        if (c == '\r')
            shown += "\\r";
        else if (c == '\n')
            shown += "\\n";
        else
            shown += c;
    }
    *out << '"' << shown << '"';
}
