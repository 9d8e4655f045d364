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
//
// A box can become slow to take text: under Wine an edit control spends a
// tenth of a millisecond on each new line and tens of milliseconds on each
// change of a long text. So that the box's thread keeps answering its
// window, a refresh that would take much longer than kRefreshBudget hands
// the box part of the new text, and the hold after it grows with its cost
// (RefreshPacer); the rest follows in the next refreshes. The box may then
// fall behind during a flood of lines and catches up afterwards.

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

#include "framework/core/CString.h"
#include "ui/LogBox.h"

// How much new text one refresh hands to the box, and how long the hold
// after it lasts, from what the latest refresh cost. The box's thread only.
class RefreshPacer {
public:
    static constexpr std::chrono::milliseconds kShortestHold{20};
    static constexpr std::chrono::milliseconds kLongestHold{1000};
    // A refresh that costs more than this hands the box less text next time
    // (down to kFewestChars, some 700 lines of the relay's).
    static constexpr std::chrono::milliseconds kRefreshBudget{80};
    // The hold is this many times the latest refresh's cost: when caught up,
    // refreshing takes at most a tenth of the thread's time; while behind,
    // half of it.
    static constexpr int kHoldPerRefreshCost = 10;
    static constexpr int kHoldPerRefreshCostBehind = 1;
    static constexpr int kFewestChars = 8192;
    static constexpr int kMostChars = 1 << 20;

    int CharLimit() const { return m_charLimit; }
    bool Behind() const { return m_behind; }
    std::chrono::milliseconds Hold() const;
    // A refresh handed `chars` characters to the box in `cost`; `behind`
    // tells whether text is still waiting for the box.
    void Record(std::chrono::microseconds cost, int chars, bool behind);

private:
    int m_charLimit = 1 << 16;
    std::chrono::microseconds m_lastCost{0};
    bool m_behind = false;
};

class ActivityLog {
public:
    static constexpr int kHoldMilliseconds = static_cast<int>(RefreshPacer::kShortestHold.count());

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
    // The box's thread: the hold to keep after the latest refresh (at least
    // kHoldMilliseconds; longer when the box has become slow).
    std::chrono::milliseconds CurrentHold() const { return m_pacer.Hold(); }
    // The box's thread: whether the box has fallen behind the log (its last
    // refresh handed it only part of the new text).
    bool Behind() const { return m_pacer.Behind(); }

    // The box's thread: brings the box up to date (or as far as one refresh
    // goes, the rest following with the next ones), leaving its scroll
    // position alone (the settings lines of Start).
    void Show(LogBox& box);

private:
    // The text the box is to take next, and where the shown text then ends.
    struct Part {
        CString text;
        int shownAfter = 0;
        bool more = false;  // text beyond this part waits for the next refresh
    };

    void RequestRefresh();
    void Refresh(LogBox& box);
    Part NextPart() const;

    mutable std::mutex m_mutex;
    CString m_text;                          // guarded by m_mutex
    std::atomic<bool> m_wanted{false};       // something to show or scroll since the last refresh
    std::atomic<bool> m_holding{false};      // a wake is on its way or a hold is running
    std::function<void()> m_wakeBoxThread;
    int m_shownLength = 0;                   // the box's thread only
    RefreshPacer m_pacer;                    // the box's thread only
};
