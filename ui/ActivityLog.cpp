#include "ui/ActivityLog.h"

#include <algorithm>
#include <string_view>
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

namespace {

// Where a part of at most `limit` characters of `text` from `from` should
// end: after its last complete line, or at the limit when it has none.
std::size_t PartEnd(std::wstring_view text, std::size_t from, std::size_t limit)
{
    if (text.size() - from <= limit)
        return text.size();
    const std::size_t lastBreak = text.rfind(L'\n', from + limit - 1);
    return lastBreak != std::wstring_view::npos && lastBreak >= from ? lastBreak + 1 : from + limit;
}

}  // namespace

ActivityLog::Part ActivityLog::NextPart() const
{
    std::lock_guard lock(m_mutex);
    const std::wstring_view text = m_text.View();
    const auto from = static_cast<std::size_t>(m_shownLength);
    const std::size_t end = PartEnd(text, from, static_cast<std::size_t>(m_pacer.CharLimit()));
    return Part{CString(text.substr(from, end - from)), static_cast<int>(end), end < text.size()};
}

void ActivityLog::Show(LogBox& box)
{
    const auto start = std::chrono::steady_clock::now();
    Part part = NextPart();
    if (part.text.IsEmpty())
        return;
    box.AppendText(part.text);
    if (box.GetTextLength() != part.shownAfter) {
        // The box did not take the part as expected (or holds something
        // else): replace its whole text instead.
        const CString whole = Text();
        box.SetText(whole);
        part.shownAfter = whole.GetLength();
        part.more = false;
    }
    m_shownLength = part.shownAfter;
    m_pacer.Record(std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start),
                   part.text.GetLength(), part.more);
    if (part.more)
        RequestRefresh();  // the next refresh goes on from here
}

std::chrono::milliseconds RefreshPacer::Hold() const
{
    const auto cost = std::chrono::ceil<std::chrono::milliseconds>(m_lastCost);
    const auto hold = cost * (m_behind ? kHoldPerRefreshCostBehind : kHoldPerRefreshCost);
    return std::clamp(hold, kShortestHold, kLongestHold);
}

void RefreshPacer::Record(std::chrono::microseconds cost, int chars, bool behind)
{
    m_lastCost = cost;
    m_behind = behind;
    if (cost > kRefreshBudget && chars > kFewestChars)
        m_charLimit = std::max(kFewestChars, chars / 2);
    else if (cost < kRefreshBudget / 2 && behind)
        m_charLimit = std::min(kMostChars, m_charLimit * 2);
}
