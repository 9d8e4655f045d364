#include "framework/core/OwnEndpoint.h"

#include "framework/core/CAsyncSocket.h"
#include "framework/core/Ipv4Text.h"
#include "framework/core/SocketTypes.h"

bool OwnEndpoint::Is(const Ipv4Endpoint& from)
{
    if (m_port == 0 || from.port != m_port)
        return false;
    if (m_bound != 0)
        return from.address == m_bound;
    if (!m_asked || m_lastAsked != from.address) {
        m_lastAnswer = IsLocalIpv4(from.address);
        m_lastAsked = from.address;
        m_asked = true;
    }
    return m_lastAnswer;
}

bool IsLocalIpv4(std::uint32_t hostOrder)
{
    if (hostOrder >> 24 == 127)
        return true;
    // The system binds only to its own addresses.
    CAsyncSocket probe;
    return probe.Create(0, SOCK_DGRAM, 0, FormatIpv4(hostOrder));
}
