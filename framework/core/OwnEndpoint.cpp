#include "framework/core/OwnEndpoint.h"

#include "framework/core/DatagramSocket.h"

bool OwnEndpoint::Is(const IpEndpoint& from)
{
    if (m_bound.Port() == 0 || from.Port() != m_bound.Port())
        return false;
    if (!m_bound.IsUnspecified())
        return from == m_bound;
    const bool family = from.IsV4() == m_bound.IsV4() || (from.IsV4() && m_takesIpv4);
    if (!family)
        return false;
    if (!m_asked || m_lastAsked != from) {
        m_lastAnswer = IsLocalAddress(from);
        m_lastAsked = from;
        m_asked = true;
    }
    return m_lastAnswer;
}

bool IsLocalAddress(const IpEndpoint& address)
{
    if (address.IsLoopback())
        return true;
    // The system binds only to its own addresses.
    DatagramSocket probe;
    return probe.Open(address.WithPort(0));
}
