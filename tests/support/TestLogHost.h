#pragma once
// The relay's log host for tests without a window: an activity log whose
// box lives in memory and is served by a thread of its own, as the dialog's
// user-interface thread serves the real one.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "ui/ActivityLog.h"
#include "tests/support/CStringPrinter.h"
#include "relay/LogHost.h"
#include "tests/support/MemoryLogBox.h"

class TestLogHost : public LogHost {
public:
    TestLogHost() : m_boxThread([this] { ServeBox(); }) {}
    ~TestLogHost()
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_one();
        m_boxThread.join();
    }

    void AppendLog(const CString& line) override { m_log.Append(line); }
    void ScrollLogToEnd() override { m_log.RequestScroll(); }

    ActivityLog& Log() { return m_log; }
    CString Text() const { return m_log.Text(); }

    // The log's lines so far, each without its "\r\n".
    std::vector<std::wstring> Lines() const
    {
        std::vector<std::wstring> lines;
        const std::wstring text(Text().View());
        for (size_t start = 0; start < text.size();) {
            const size_t end = text.find(L"\r\n", start);
            if (end == std::wstring::npos) {
                lines.push_back(text.substr(start));
                break;
            }
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    // Waits (bounded, generously) until the log holds at least `count` lines.
    bool WaitForLines(size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) const
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Lines().size() < count) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    // Runs fn on the box's thread with the box, and waits for it.
    template <typename Fn>
    void OnBoxThread(Fn fn)
    {
        std::unique_lock lock(m_mutex);
        bool done = false;
        m_task = [&] {
            fn(m_box);
            done = true;
        };
        m_wake.notify_one();
        m_done.wait(lock, [&] { return done; });
    }

    int Wakes() const { return m_wakes.load(); }

private:
    void ServeBox()
    {
        using Clock = std::chrono::steady_clock;
        std::unique_lock lock(m_mutex);
        bool holding = false;
        Clock::time_point holdEnds;
        for (;;) {
            const auto ready = [this] { return m_quit || m_refreshWanted || m_task; };
            if (holding)
                m_wake.wait_until(lock, holdEnds, ready);
            else
                m_wake.wait(lock, ready);
            if (m_quit)
                return;
            if (m_task) {
                auto task = std::move(m_task);
                m_task = nullptr;
                task();
                m_done.notify_all();
            }
            const bool holdOver = holding && Clock::now() >= holdEnds;
            lock.unlock();
            if (m_refreshWanted.exchange(false)) {
                m_log.OnWake(m_box);
                holding = true;
                holdEnds = Clock::now() + std::chrono::milliseconds(ActivityLog::kHoldMilliseconds);
            } else if (holdOver) {
                holding = m_log.OnHoldExpired(m_box);
                holdEnds = Clock::now() + std::chrono::milliseconds(ActivityLog::kHoldMilliseconds);
            }
            lock.lock();
        }
    }

    void WakeBoxThread()
    {
        ++m_wakes;
        {
            std::lock_guard lock(m_mutex);
            m_refreshWanted = true;
        }
        m_wake.notify_one();
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    bool m_quit = false;
    std::atomic<bool> m_refreshWanted{false};
    std::function<void()> m_task;
    std::atomic<int> m_wakes{0};
    MemoryLogBox m_box;
    ActivityLog m_log{[this] { WakeBoxThread(); }};
    std::thread m_boxThread;
};
