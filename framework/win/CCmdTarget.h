#pragma once
// The root of everything that has a message map: windows and the
// application object. It finds a row for a message in its own table or in
// a base class's table, most derived first.

#include <windows.h>

struct MessageMap;
struct MessageMapEntry;

class CCmdTarget {
public:
    CCmdTarget() = default;
    virtual ~CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    // The first row along the chain of tables that takes the message, or
    // null. code and id only matter for WM_COMMAND.
    const MessageMapEntry* FindMessageEntry(UINT message, UINT code, UINT id) const;

    // Runs the handler this object has for command id with notification
    // code; false when it has none.
    BOOL OnCmdMsg(UINT nID, UINT nCode);

protected:
    static const MessageMap* GetThisMessageMap();
    virtual const MessageMap* GetMessageMap() const;
};
