#include "relay/RelaySockets.h"

#include "framework/core/EndpointLookup.h"
#include "framework/core/SocketTypes.h"

bool RelaySockets::Listen(const IpEndpoint& at, int& error)
{
    auto socket = std::make_unique<CAsyncSocket>();
    if (!socket->Create(at.Port(), SOCK_DGRAM, FD_READ, at.AddressText())) {
        error = socket->GetLastError();
        return false;
    }
    const IpEndpoint bound = at.WithPort(static_cast<std::uint16_t>(socket->GetLocalPort()));
    m_extras.push_back({std::move(socket), bound, false});
    return true;
}

bool RelaySockets::ReachServer(const IpEndpoint& server, const IpEndpoint& relayAt, bool relayTakesBoth, int& error)
{
    m_towardsServer = 0;
    if (Reaches(relayAt, relayTakesBoth, server))
        return true;
    for (std::size_t k = 0; k < m_extras.size(); ++k)
        if (Reaches(m_extras[k].at, m_extras[k].socket->TakesBothFamilies(), server)) {
            m_towardsServer = k + 1;
            return true;
        }
    // Bound to every address of the family, as the link engine's is; the
    // capture shows the address it really sends from.
    const IpEndpoint any = server.IsV4() ? IpEndpoint() : IpEndpoint::V6({}, 0);
    auto socket = std::make_unique<CAsyncSocket>();
    if (!socket->Create(0, SOCK_DGRAM, FD_READ, any.AddressText())) {
        error = socket->GetLastError();
        return false;
    }
    const IpEndpoint from = SendingEnd(any.WithPort(static_cast<std::uint16_t>(socket->GetLocalPort())), server);
    m_extras.push_back({std::move(socket), from, true});
    m_towardsServer = m_extras.size();
    return true;
}

void RelaySockets::Close()
{
    m_extras.clear();
    m_towardsServer = 0;
}
