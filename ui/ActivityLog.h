#pragma once
// The activity log's text, shared by the worker and the user-interface
// thread. Any thread appends; only the box's own thread touches the box.
//
// An append never waits for the box's thread: it adds the line under a
// short lock and, if no refresh is pending yet, asks the box's thread for
// one. However fast lines come, at most one request is outstanding, and a
// refresh adds only the text the box does not show yet.

#include <atomic>
#include <functional>
#include <mutex>

#include "CString.h"
#include "LogBox.h"

class ActivityLog {
public:
    // wakeBoxThread asks the box's thread to call Refresh soon; it must
    // return without waiting for that thread.
    explicit ActivityLog(std::function<void()> wakeBoxThread);

    // Any thread.
    void Append(const CString& line);
    void RequestScroll();
    CString Text() const;

    // The box's thread: brings the box up to date with the whole log.
    // Refresh also scrolls it to its end, as every worker update does; Show
    // leaves the scroll position alone.
    void Refresh(LogBox& box);
    void Show(LogBox& box);

private:
    void RequestRefresh();

    mutable std::mutex m_mutex;
    CString m_text;                          // guarded by m_mutex
    std::atomic<bool> m_refreshPending{false};
    std::function<void()> m_wakeBoxThread;
    int m_shownLength = 0;                   // the box's thread only
};
