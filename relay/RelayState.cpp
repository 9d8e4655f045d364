#include "relay/RelayState.h"

#include "relay/RelayWorker.h"

Dulvetsocket g_relaySocket;
std::int32_t g_nRecvLen = 0;
CString g_strFromAddr;
std::uint32_t g_nFromPort = 0;
std::int32_t g_nCount = 1;

// After the state it works on, so that at exit it is stopped before the
// state is destroyed.
RelayWorker g_relayWorker;
