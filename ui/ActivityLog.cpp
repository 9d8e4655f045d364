#include "ActivityLog.h"

#include <utility>

ActivityLog::ActivityLog(std::function<void()> wakeBoxThread) : m_wakeBoxThread(std::move(wakeBoxThread)) {}

void ActivityLog::Append(const CString& line)
{
    {
        std::lock_guard lock(m_mutex);
        m_text += line;
    }
    RequestRefresh();
}

void ActivityLog::RequestScroll() { RequestRefresh(); }

void ActivityLog::RequestRefresh()
{
    // Plain reads first: while a hold runs, a request costs no write.
    if (!m_wanted.load())
        m_wanted.store(true);
    if (!m_holding.load() && !m_holding.exchange(true))
        m_wakeBoxThread();
}

CString ActivityLog::Text() const
{
    std::lock_guard lock(m_mutex);
    return m_text;
}

void ActivityLog::OnWake(LogBox& box) { Refresh(box); }

bool ActivityLog::OnHoldExpired(LogBox& box)
{
    if (m_wanted.load()) {
        Refresh(box);
        return true;
    }
    // Release the hold, then look once more: a request that came just
    // before the release saw the hold and did not wake us.
    m_holding.store(false);
    if (m_wanted.load() && !m_holding.exchange(true)) {
        Refresh(box);
        return true;
    }
    return false;
}

void ActivityLog::Refresh(LogBox& box)
{
    m_wanted.store(false);
    Show(box);
    ScrollLogToEnd(box);
}

void ActivityLog::Show(LogBox& box)
{
    CString tail;
    int length = 0;
    {
        std::lock_guard lock(m_mutex);
        length = m_text.GetLength();
        if (length == m_shownLength)
            return;
        tail = m_text.Mid(m_shownLength);
    }
    box.AppendText(tail);
    if (box.GetTextLength() != length) {
        // The box did not take the tail as expected (or holds something
        // else): replace its whole text instead.
        CString whole = Text();
        length = whole.GetLength();
        box.SetText(whole);
    }
    m_shownLength = length;
}
