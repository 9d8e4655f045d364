#include "cli/ShownText.h"

#include <cstdio>

#include "framework/core/CString.h"

std::string ShownText(std::string_view utf8)
{
    std::string shown;
    shown.reserve(utf8.size());
    char escape[8];
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            shown += escape;
        } else if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0 &&
                   static_cast<unsigned char>(utf8[i + 1]) >= 0x80) {
            // U+0080..U+009F: the C1 controls (CSI among them) in UTF-8.
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned char>(utf8[++i]));
            shown += escape;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

std::string Quoted(std::string_view utf8) { return std::string("'").append(ShownText(utf8)).append("'"); }

std::string Quoted(std::wstring_view text) { return Quoted(Utf8(text)); }

std::string Utf8(std::wstring_view text) { return CString(text).ToUtf8(); }
