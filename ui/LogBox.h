#pragma once
// What the activity log needs of the box that shows it. Every call happens
// on the thread that owns the box.

#include "framework/core/CString.h"

class LogBox {
public:
    virtual void SetText(const CString& text) = 0;      // replace the whole text
    virtual void AppendText(const CString& tail) = 0;   // add at the end
    virtual int GetTextLength() = 0;
    virtual int GetLineCount() = 0;
    virtual void LineScroll(int lines) = 0;             // vertically, by lines

protected:
    ~LogBox() = default;
};

// Scrolling by the full line count always brings the last line into view.
inline void ScrollLogToEnd(LogBox& box) { box.LineScroll(box.GetLineCount()); }
