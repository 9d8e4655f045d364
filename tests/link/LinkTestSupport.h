#pragma once
// For the link engine's tests: a log host that keeps lines in memory and
// lets a test wait for them, and a clock the test sets.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/LinkClock.h"
#include "relay/LogHost.h"

class LineLog : public LogHost {
public:
    void AppendLog(const CString& line) override
    {
        std::lock_guard lock(m_mutex);
        std::wstring text(line.View());
        for (size_t start = 0; start < text.size();) {
            const size_t end = text.find(L"\r\n", start);
            m_lines.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
            if (end == std::wstring::npos)
                break;
            start = end + 2;
        }
    }
    void ScrollLogToEnd() override {}

    std::vector<std::wstring> Lines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    size_t Count(const std::wstring& line) const
    {
        const auto lines = Lines();
        return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
    }
    size_t CountStartingWith(const std::wstring& head) const
    {
        size_t n = 0;
        for (const auto& line : Lines())
            n += line.rfind(head, 0) == 0;
        return n;
    }
    // Waits (bounded) until `line` has appeared `times` times.
    bool WaitFor(const std::wstring& line, size_t times = 1,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Count(line) < times) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::wstring> m_lines;
};

class FakeClock : public LinkClock {
public:
    LinkTime Now() const override { return LinkTime(m_now.load()); }
    void Set(LinkTime t) { m_now = t.count(); }
    void Advance(std::chrono::nanoseconds d) { m_now += d.count(); }

private:
    std::atomic<std::int64_t> m_now{1'000'000'000};
};

// Waits (bounded) until cond() holds.
template <typename Cond>
bool WaitUntil(Cond cond, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
