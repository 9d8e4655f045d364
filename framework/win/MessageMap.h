#pragma once
// A message map: a static table per class that says which member function
// handles which window message or command, chained to the base class's
// table. The macros at the end build the table:
//
//   class CMyDlg : public CDialogEx { ... DECLARE_MESSAGE_MAP() };
//
//   BEGIN_MESSAGE_MAP(CMyDlg, CDialogEx)
//       ON_WM_PAINT()
//       ON_BN_CLICKED(IDOK, &CMyDlg::OnBnClickedOk)
//       ON_MESSAGE(WM_APP + 1, &CMyDlg::OnLogRefresh)
//   END_MESSAGE_MAP()
//
// Every handler is stored as a member function pointer of CCmdTarget; the
// macros convert with static_cast, so a handler of the wrong shape does not
// compile. ON_MESSAGE takes any message but WM_COMMAND, whose rows go by
// control id and notification code (ON_BN_CLICKED, ON_COMMAND).

#include <windows.h>

// Complete before any pointer to its members is declared, so that every
// compiler gives those pointers the same (single inheritance) form.
#include "framework/win/CCmdTarget.h"

// One handler in one of the shapes the macros accept.
class MessageHandler {
public:
    using Plain = void (CCmdTarget::*)();
    using SysCommand = void (CCmdTarget::*)(UINT, LPARAM);
    using Cursor = HCURSOR (CCmdTarget::*)();
    using Generic = LRESULT (CCmdTarget::*)(WPARAM, LPARAM);

    constexpr MessageHandler() : m_shape(Shape::None), m_plain(nullptr) {}
    constexpr MessageHandler(Plain f) : m_shape(Shape::Plain), m_plain(f) {}
    constexpr MessageHandler(SysCommand f) : m_shape(Shape::SysCommand), m_sysCommand(f) {}
    constexpr MessageHandler(Cursor f) : m_shape(Shape::Cursor), m_cursor(f) {}
    constexpr MessageHandler(Generic f) : m_shape(Shape::Generic), m_generic(f) {}

    // Calls the handler on target, passing on the parts of the message its
    // shape takes; returns what the handler returned (0 for void handlers).
    LRESULT Invoke(CCmdTarget& target, WPARAM wParam, LPARAM lParam) const;

private:
    enum class Shape { None, Plain, SysCommand, Cursor, Generic };
    Shape m_shape;
    union {
        Plain m_plain;
        SysCommand m_sysCommand;
        Cursor m_cursor;
        Generic m_generic;
    };
};

// One row of a table. For WM_COMMAND rows, code and id name the
// notification and the control or command; other rows match on message alone.
struct MessageMapEntry {
    // The code of a row that takes a command from a menu, an accelerator or
    // a button click (notification codes 0 and 1).
    static constexpr UINT kAnyCommandCode = 0xFFFFFFFFu;

    UINT message = 0;  // 0 ends the table
    UINT code = 0;
    UINT id = 0;
    MessageHandler handler;

    bool Matches(UINT msg, UINT notifyCode, UINT ctrlId) const;
};

struct MessageMap {
    const MessageMap* (*getBaseMap)();  // null for the root of the chain
    const MessageMapEntry* entries;     // ends with a row whose message is 0
};

// Marks the handlers in a class declaration.
#define afx_msg

#define DECLARE_MESSAGE_MAP()                                   \
protected:                                                      \
    static const MessageMap* GetThisMessageMap();               \
    const MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                              \
    const MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const MessageMap* theClass::GetThisMessageMap()                         \
    {                                                                       \
        using ThisClass [[maybe_unused]] = theClass;                        \
        using TheBaseClass = baseClass;                                     \
        static const MessageMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                   \
            MessageMapEntry{}                                               \
        };                                                                  \
        static const MessageMap map{&TheBaseClass::GetThisMessageMap, entries}; \
        return &map;                                                        \
    }

#define AFX_MAP_ROW(msg, code, id, shape, memberFxn) \
    MessageMapEntry{(msg), (code), static_cast<UINT>(id), MessageHandler(static_cast<MessageHandler::shape>(memberFxn))},

// void OnSysCommand(UINT nID, LPARAM lParam)
#define ON_WM_SYSCOMMAND() AFX_MAP_ROW(WM_SYSCOMMAND, 0, 0, SysCommand, &ThisClass::OnSysCommand)
// void OnPaint()
#define ON_WM_PAINT() AFX_MAP_ROW(WM_PAINT, 0, 0, Plain, &ThisClass::OnPaint)
// HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON() AFX_MAP_ROW(WM_QUERYDRAGICON, 0, 0, Cursor, &ThisClass::OnQueryDragIcon)
// void handler()
#define ON_BN_CLICKED(id, memberFxn) AFX_MAP_ROW(WM_COMMAND, BN_CLICKED, id, Plain, memberFxn)
// void handler(), for a menu item, an accelerator or a button
#define ON_COMMAND(id, memberFxn) AFX_MAP_ROW(WM_COMMAND, MessageMapEntry::kAnyCommandCode, id, Plain, memberFxn)
// LRESULT handler(WPARAM, LPARAM), for any message
#define ON_MESSAGE(message, memberFxn) AFX_MAP_ROW(message, 0, 0, Generic, memberFxn)
