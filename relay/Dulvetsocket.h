#pragma once
// The relay's socket together with its settings, its remembered client and
// its receive buffer. Start fills in the settings before the worker runs;
// Modify may change the miss count and delay while it runs, hence atomics.

#include <atomic>
#include <cstdint>

#include "framework/core/AllowList.h"
#include "framework/core/CAsyncSocket.h"
#include "framework/core/CString.h"

inline constexpr int kRelayBufferSize = 15000;
// What the relay asks the system to buffer for its socket, as the link
// engine does: the default (some 200 KB) overflows in bursts.
inline constexpr int kRelaySocketBufferBytes = 4 << 20;

class Dulvetsocket : public CAsyncSocket {
public:
    std::atomic<std::int32_t> m_nMissCount{0};
    std::atomic<std::int32_t> m_nDelay{0};
    CString m_strServerAddr;
    CString m_strLocalAddr;
    std::int32_t m_nServerPort = 0;
    std::int32_t m_nLocalPort = 0;
    CString m_strClientAddr;
    std::int32_t m_nClientPort = 0;
    unsigned char m_buffer[kRelayBufferSize] = {};
    // Who may send as a client, set before the worker runs (dulvet's
    // --allow); the dialog leaves it empty: everyone.
    AllowList m_allowed;
};
