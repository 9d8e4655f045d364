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
    if (!m_refreshPending.exchange(true, std::memory_order_acq_rel))
        m_wakeBoxThread();
}

CString ActivityLog::Text() const
{
    std::lock_guard lock(m_mutex);
    return m_text;
}

void ActivityLog::Refresh(LogBox& box)
{
    // Cleared before reading the text, so a line appended from here on
    // asks for another refresh.
    m_refreshPending.store(false, std::memory_order_release);
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
