#include "framework/core/MemoryTrim.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void GiveFreedMemoryBack()
{
#if defined(__GLIBC__)
    malloc_trim(0);  // every arena, and whole free pages inside the heap too
#endif
}
