#include "framework/win/CCmdTarget.h"

#include "framework/win/MessageMap.h"

const MessageMap* CCmdTarget::GetThisMessageMap()
{
    static const MessageMapEntry entries[] = {MessageMapEntry{}};
    static const MessageMap map{nullptr, entries};
    return &map;
}

const MessageMap* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

const MessageMapEntry* CCmdTarget::FindMessageEntry(UINT message, UINT code, UINT id) const
{
    for (const MessageMap* map = GetMessageMap(); map; map = map->getBaseMap ? map->getBaseMap() : nullptr) {
        for (const MessageMapEntry* entry = map->entries; entry->message != 0; ++entry) {
            if (entry->Matches(message, code, id))
                return entry;
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, UINT nCode)
{
    const MessageMapEntry* entry = FindMessageEntry(WM_COMMAND, nCode, nID);
    if (!entry)
        return FALSE;
    entry->handler.Invoke(*this, 0, 0);
    return TRUE;
}
