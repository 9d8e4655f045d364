#include "framework/core/CString.h"

#include <cstdarg>
#include <cwchar>

namespace {

std::wstring FormatV(const wchar_t* format, va_list args)
{
    // Log lines are short; grow only for the rare long one.
    std::wstring out(128, L'\0');
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        const int written = std::vswprintf(out.data(), out.size(), format, copy);
        va_end(copy);
        if (written >= 0 && static_cast<size_t>(written) < out.size()) {
            out.resize(static_cast<size_t>(written));
            return out;
        }
        if (out.size() >= (1u << 20))
            return std::wstring();  // a format that never fits: an empty text, not a hang
        out.resize(out.size() * 4);
    }
}

}  // namespace

void CString::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    m_text = FormatV(format, args);
    va_end(args);
}

CString CString::Formatted(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    CString result(FormatV(format, args));
    va_end(args);
    return result;
}

CString CString::Mid(int first) const
{
    if (first <= 0)
        return *this;
    if (static_cast<size_t>(first) >= m_text.size())
        return CString();
    return CString(m_text.substr(static_cast<size_t>(first)));
}

CString CString::FromUtf8(std::string_view utf8)
{
    std::wstring out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        if (i + static_cast<size_t>(extra) >= utf8.size() && extra != 0) {
            out += L'\uFFFD';
            break;
        }
        for (int k = 1; k <= extra; ++k)
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += static_cast<size_t>(extra) + 1;
        if constexpr (sizeof(wchar_t) == 2) {
            if (code >= 0x10000) {
                code -= 0x10000;
                out += static_cast<wchar_t>(0xD800 + (code >> 10));
                out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
                continue;
            }
        }
        out += static_cast<wchar_t>(code);
    }
    return CString(std::move(out));
}

std::string CString::ToUtf8() const
{
    std::string out;
    out.reserve(m_text.size());
    for (size_t i = 0; i < m_text.size(); ++i) {
        char32_t code = static_cast<char32_t>(m_text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (code >= 0xD800 && code < 0xDC00 && i + 1 < m_text.size()) {
                code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<char32_t>(m_text[++i]) - 0xDC00);
            }
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}
