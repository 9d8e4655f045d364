#include "HeadlessLogHost.h"

#include <algorithm>
#include <string_view>

namespace {

int CountLineBreaks(std::wstring_view text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), L'\n'));
}

}  // namespace

void CountingLogBox::SetText(const CString& text)
{
    m_length = text.GetLength();
    m_lineBreaks = CountLineBreaks(text.View());
}

void CountingLogBox::AppendText(const CString& tail)
{
    m_length += tail.GetLength();
    m_lineBreaks += CountLineBreaks(tail.View());
}

HeadlessLogHost::HeadlessLogHost() : m_boxThread([this] { ServeBox(); }) {}

HeadlessLogHost::~HeadlessLogHost()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_one();
    m_boxThread.join();
}

std::size_t HeadlessLogHost::LineCount() const
{
    const CString text = m_log.Text();
    std::size_t lines = 0;
    for (std::size_t at = text.View().find(L"\r\n"); at != std::wstring_view::npos;
         at = text.View().find(L"\r\n", at + 2))
        ++lines;
    return lines;
}

void HeadlessLogHost::ServeBox()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || m_refreshWanted; });
        if (m_quit)
            return;
        m_refreshWanted = false;
        lock.unlock();
        m_log.Refresh(m_box);
        lock.lock();
    }
}

void HeadlessLogHost::WakeBoxThread()
{
    ++m_wakes;
    {
        std::lock_guard lock(m_mutex);
        m_refreshWanted = true;
    }
    m_wake.notify_one();
}
