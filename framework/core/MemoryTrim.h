#pragma once
// Gives memory the process has freed back to the system. After a flood the
// allocator keeps the pages of millions of small blocks it has taken back;
// a long-running relay should not hold them for ever. Costs a walk over the
// allocator's free lists: call it once after a flood, not per datagram.

void GiveFreedMemoryBack();
