#include "framework/win/MessageMap.h"

#include "framework/win/CCmdTarget.h"

LRESULT MessageHandler::Invoke(CCmdTarget& target, WPARAM wParam, LPARAM lParam) const
{
    switch (m_shape) {
    case Shape::Plain:
        (target.*m_plain)();
        return 0;
    case Shape::SysCommand:
        (target.*m_sysCommand)(static_cast<UINT>(wParam), lParam);
        return 0;
    case Shape::Cursor:
        return reinterpret_cast<LRESULT>((target.*m_cursor)());
    case Shape::Generic:
        return (target.*m_generic)(wParam, lParam);
    case Shape::None:
        break;
    }
    return 0;
}

bool MessageMapEntry::Matches(UINT msg, UINT notifyCode, UINT ctrlId) const
{
    if (msg != message)
        return false;
    if (msg != WM_COMMAND)
        return true;
    if (ctrlId != id)
        return false;
    if (code == kAnyCommandCode)
        return notifyCode == 0 || notifyCode == 1;
    return notifyCode == code;
}
