#pragma once
// A log box held in memory, for tests that run without a window. It counts
// lines the way an edit control does (line breaks + 1) and remembers scrolls.

#include <algorithm>

#include "ui/LogBox.h"

class MemoryLogBox : public LogBox {
public:
    // A box that takes at most `limit` characters, like a full edit control.
    explicit MemoryLogBox(int limit = 1 << 30) : m_limit(limit) {}

    void SetText(const CString& text) override
    {
        m_text = CString(text.View().substr(0, static_cast<size_t>(std::min(text.GetLength(), m_limit))));
        ++m_wholeReplacements;
    }
    void AppendText(const CString& tail) override
    {
        const int room = std::max(0, m_limit - m_text.GetLength());
        m_text += CString(tail.View().substr(0, static_cast<size_t>(std::min(tail.GetLength(), room))));
    }
    int GetTextLength() override { return m_text.GetLength(); }
    int GetLineCount() override
    {
        return 1 + static_cast<int>(std::count(m_text.View().begin(), m_text.View().end(), L'\n'));
    }
    void LineScroll(int lines) override
    {
        m_firstVisibleLine = std::min(m_firstVisibleLine + lines, GetLineCount() - 1);
        ++m_scrolls;
    }

    CString m_text;
    int m_limit;
    int m_firstVisibleLine = 0;
    int m_scrolls = 0;
    int m_wholeReplacements = 0;
};
