#include "framework/core/ThisMachine.h"

#include "framework/core/DatagramSocket.h"

namespace {

constexpr std::size_t kMostKept = 256;

bool IsLoopback(const IpEndpoint& address)
{
    if (address.IsV4())
        return address.V4Address() >> 24 == 127;
    static const IpEndpoint::V6Bytes kLoopback{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    return address.Bytes() == kLoopback;
}

}  // namespace

bool ThisMachine::Has(const IpEndpoint& address)
{
    if (IsLoopback(address))
        return true;
    const IpEndpoint key = address.WithPort(0);
    if (const auto known = m_known.find(key); known != m_known.end())
        return known->second;
    if (m_known.size() >= kMostKept)
        m_known.clear();
    // The system binds only to its own addresses.
    DatagramSocket probe;
    return m_known[key] = probe.Open(key);
}
