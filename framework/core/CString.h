#pragma once
// Unicode text with value semantics: addresses, log lines and the log itself.
// wchar_t is UTF-16 on Windows and UTF-32 elsewhere; every text the program
// builds is plain ASCII or Chinese from the basic plane, so both serve.

#include <cstddef>
#include <string>
#include <string_view>

class CString {
public:
    CString() = default;
    CString(const wchar_t* text) : m_text(text ? text : L"") {}
    CString(std::wstring_view text) : m_text(text) {}
    explicit CString(std::wstring text) : m_text(std::move(text)) {}

    // printf-style formatting; %d is a 32-bit signed decimal.
    void Format(const wchar_t* format, ...);
    static CString Formatted(const wchar_t* format, ...);

    // ASCII/UTF-8 bridges for the socket layer and for tests.
    static CString FromUtf8(std::string_view utf8);
    std::string ToUtf8() const;

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    const wchar_t* GetString() const { return m_text.c_str(); }
    operator const wchar_t*() const { return m_text.c_str(); }
    std::wstring_view View() const { return m_text; }
    CString Mid(int first) const;
    // Replaces the text, reusing the storage it already has.
    void Assign(std::wstring_view text) { m_text.assign(text); }

    CString& operator+=(const CString& tail) { m_text += tail.m_text; return *this; }
    CString& operator+=(const wchar_t* tail) { m_text += tail; return *this; }
    friend CString operator+(CString head, const CString& tail) { head += tail; return head; }

    // Exact, case-sensitive comparison.
    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
    friend bool operator==(const CString& a, const wchar_t* b) { return a.m_text == b; }

private:
    std::wstring m_text;
};
