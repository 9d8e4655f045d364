#pragma once
// The activity log's text, shared by the worker and the user-interface
// thread. Any thread appends; only the box's own thread touches the box.
//
// An append never waits for the box's thread: it adds the line under a
// short lock and, if no refresh is pending, asks the box's thread for one.
// After a refresh the box's thread holds further refreshes back for a short
// while (kHoldMilliseconds) and then brings the box up to date once for all
// that came meanwhile. However fast the worker goes, the box's thread does
// at most one refresh per hold, each adding only the text the box does not
// show yet, and the worker's hot path costs two plain reads.

#include <atomic>
#include <functional>
#include <mutex>

#include "CString.h"
#include "LogBox.h"

class ActivityLog {
public:
    static constexpr int kHoldMilliseconds = 20;

    // wakeBoxThread asks the box's thread to call OnWake soon; it must
    // return without waiting for that thread.
    explicit ActivityLog(std::function<void()> wakeBoxThread);

    // Any thread.
    void Append(const CString& line);
    void RequestScroll();
    CString Text() const;

    // The box's thread. OnWake brings the box up to date and scrolls it to
    // its end; the host then calls OnHoldExpired after kHoldMilliseconds,
    // and again after each hold for as long as it returns true.
    void OnWake(LogBox& box);
    bool OnHoldExpired(LogBox& box);

    // The box's thread: brings the box up to date, leaving its scroll
    // position alone (the settings lines of Start).
    void Show(LogBox& box);

private:
    void RequestRefresh();
    void Refresh(LogBox& box);

    mutable std::mutex m_mutex;
    CString m_text;                          // guarded by m_mutex
    std::atomic<bool> m_wanted{false};       // something to show or scroll since the last refresh
    std::atomic<bool> m_holding{false};      // a wake is on its way or a hold is running
    std::function<void()> m_wakeBoxThread;
    int m_shownLength = 0;                   // the box's thread only
};
