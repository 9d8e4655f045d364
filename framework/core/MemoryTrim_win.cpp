#include "framework/core/MemoryTrim.h"

#include <windows.h>

void GiveFreedMemoryBack()
{
    // The process heap decommits what it can of its free blocks.
    HeapCompact(GetProcessHeap(), 0);
}
