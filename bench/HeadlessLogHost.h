#pragma once
// The relay's log host without a window: the activity log's box lives in
// memory and a thread of its own refreshes it, as the dialog's
// user-interface thread does for the real one. The box only counts; the
// log keeps the text.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "ActivityLog.h"
#include "LogBox.h"
#include "LogHost.h"

class CountingLogBox : public LogBox {
public:
    void SetText(const CString& text) override;
    void AppendText(const CString& tail) override;
    int GetTextLength() override { return m_length; }
    int GetLineCount() override { return m_lineBreaks + 1; }
    void LineScroll(int /*lines*/) override {}

private:
    int m_length = 0;
    int m_lineBreaks = 0;
};

class HeadlessLogHost : public LogHost {
public:
    HeadlessLogHost();
    ~HeadlessLogHost();
    HeadlessLogHost(const HeadlessLogHost&) = delete;
    HeadlessLogHost& operator=(const HeadlessLogHost&) = delete;

    void AppendLog(const CString& line) override { m_log.Append(line); }
    void ScrollLogToEnd() override { m_log.RequestScroll(); }

    // Lines in the log so far (each ends in "\r\n").
    std::size_t LineCount() const;
    // How often the log asked the box's thread for a refresh.
    long long BoxWakes() const { return m_wakes.load(); }

private:
    void ServeBox();
    void WakeBoxThread();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;
    bool m_refreshWanted = false;
    std::atomic<long long> m_wakes{0};
    CountingLogBox m_box;
    ActivityLog m_log{[this] { WakeBoxThread(); }};
    std::thread m_boxThread;
};
