#pragma once
// The dialog's worker telling an observer about each datagram: numbered
// per way, time-stamped, with the addresses it travelled between. Only
// made when the console program asks for a capture or an event log; the
// dialog never makes one.

#include <cstdint>

#include "relay/DatagramObserver.h"

class RelayEvents {
public:
    // The relay's own address and port and the server's, as the socket's
    // settings hold them when the worker starts.
    RelayEvents(DatagramObserver& observer, PacketEndpoint relay, PacketEndpoint server);

    // A datagram was taken now, from the sender the relay state names.
    void Received();
    // Its fate. A client datagram is told after its pause, with the time it
    // arrived: nothing else is told meanwhile, so time only moves forward.
    void ClientForwarded(bool delayed, std::int32_t delayMs, std::int32_t count, bool sent);
    void ClientDropped();
    void ReplyForwarded(bool sent);
    void ReplyLost();

private:
    void Tell(DatagramEvent& event);

    DatagramObserver& m_observer;
    PacketEndpoint m_relay;
    PacketEndpoint m_server;
    PacketEndpoint m_sender;
    PacketEndpoint m_client;  // whoever sent last
    std::int64_t m_arrivalNs = 0;
    std::uint64_t m_toServer = 0;
    std::uint64_t m_toClient = 0;
};
