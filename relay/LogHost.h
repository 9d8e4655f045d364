#pragma once
// How the relay reaches the activity log: the main dialog implements this,
// and so does a small host in the tests. Both calls may come from the
// worker thread; the host carries them over to the thread that owns the box.

#include "framework/core/CString.h"

class LogHost {
public:
    // Appends one line (ending in "\r\n") to the log and shows it.
    virtual void AppendLog(const CString& line) = 0;
    // Scrolls the log box so that its last line is visible.
    virtual void ScrollLogToEnd() = 0;

protected:
    ~LogHost() = default;
};
