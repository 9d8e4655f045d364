#include "relay/RelayEvents.h"

#include <chrono>
#include <utility>

#include "framework/core/SocketAddress.h"
#include "relay/RelayState.h"

namespace {

std::int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

RelayEvents::RelayEvents(DatagramObserver& observer, std::vector<PacketEndpoint> sockets, PacketEndpoint server)
    : m_observer(observer), m_sockets(std::move(sockets)), m_server(server)
{
}

void RelayEvents::Received(std::size_t at)
{
    m_arrivalNs = NowNs();
    m_at = m_sockets[at];
    m_sender = PacketEndpoint::From(EndpointOfText(g_strFromAddr, g_nFromPort).value_or(IpEndpoint()));
}

void RelayEvents::Tell(DatagramEvent& event)
{
    event.bytes = g_relaySocket.m_buffer;
    event.size = static_cast<std::uint32_t>(g_nRecvLen);
    event.arrivalNs = m_arrivalNs;
    event.client = m_client;
    m_observer.OnDatagram(event);
}

void RelayEvents::ClientForwarded(bool delayed, std::int32_t delayMs, std::int32_t count, bool sent, std::size_t via)
{
    m_client = m_sender;
    DatagramEvent event;
    event.way = DatagramWay::ToServer;
    event.number = ++m_toServer;
    event.step = DatagramStep::Arrived;
    event.timeNs = m_arrivalNs;
    event.source = m_sender;
    event.destination = m_at;
    Tell(event);
    if (!sent)
        return;
    event.step = DatagramStep::Left;
    event.timeNs = NowNs();
    event.source = m_sockets[via];
    event.destination = m_server;
    event.delayed = delayed;
    event.delayMs = delayMs;
    event.count = count;
    Tell(event);
}

void RelayEvents::ClientDropped()
{
    m_client = m_sender;
    DatagramEvent event;
    event.way = DatagramWay::ToServer;
    event.number = ++m_toServer;
    event.step = DatagramStep::Dropped;
    event.timeNs = m_arrivalNs;
    event.source = m_sender;
    event.destination = m_at;
    event.cause = "dropped";  // the dialog engine's counter
    Tell(event);
}

void RelayEvents::ReplyForwarded(bool sent, std::size_t via)
{
    DatagramEvent event;
    event.way = DatagramWay::ToClient;
    event.number = ++m_toClient;
    event.step = DatagramStep::Arrived;
    event.timeNs = m_arrivalNs;
    event.source = m_server;
    event.destination = m_at;
    Tell(event);
    if (!sent)
        return;
    event.step = DatagramStep::Left;
    event.timeNs = NowNs();
    event.source = m_sockets[via];
    event.destination = m_client;
    Tell(event);
}

void RelayEvents::ReplyLost()
{
    DatagramEvent event;
    event.way = DatagramWay::ToClient;
    event.number = ++m_toClient;
    event.step = DatagramStep::Dropped;
    event.timeNs = m_arrivalNs;
    event.source = m_server;
    event.destination = m_at;
    event.cause = "lost_replies";
    Tell(event);
}
