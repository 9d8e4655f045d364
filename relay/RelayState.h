#pragma once
// The relay's process-wide state: the socket with its settings, the outcome
// of the last receive, and the position within the drop period. Written by
// Start/Modify (settings) and by the worker (everything else).

#include <cstdint>

#include "framework/core/CString.h"
#include "relay/Dulvetsocket.h"

extern Dulvetsocket g_relaySocket;
extern std::int32_t g_nRecvLen;
extern CString g_strFromAddr;
extern std::uint32_t g_nFromPort;
extern std::int32_t g_nCount;
