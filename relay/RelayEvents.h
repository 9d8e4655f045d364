#pragma once
// The dialog's worker telling an observer about each datagram: numbered
// per way, time-stamped, with the addresses it travelled between. Only
// made when the console program asks for a capture or an event log; the
// dialog never makes one.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "relay/DatagramObserver.h"

class RelayEvents {
public:
    // Where each socket the worker serves is, in its order (the relay
    // socket first), and the server, as the settings hold them when the
    // worker starts.
    RelayEvents(DatagramObserver& observer, std::vector<PacketEndpoint> sockets, PacketEndpoint server);

    // A datagram was taken now at socket `at`, from the sender the relay
    // state names.
    void Received(std::size_t at);
    // Its fate; `via` the socket it left through. A client datagram is told
    // after its pause, with the time it arrived: nothing else is told
    // meanwhile, so time only moves forward.
    void ClientForwarded(bool delayed, std::int32_t delayMs, std::int32_t count, bool sent, std::size_t via);
    void ClientDropped();
    void ReplyForwarded(bool sent, std::size_t via);
    void ReplyLost();

private:
    void Tell(DatagramEvent& event);

    DatagramObserver& m_observer;
    std::vector<PacketEndpoint> m_sockets;
    PacketEndpoint m_server;
    PacketEndpoint m_at;  // the socket the last datagram came to
    PacketEndpoint m_sender;
    PacketEndpoint m_client;  // whoever sent last
    std::int64_t m_arrivalNs = 0;
    std::uint64_t m_toServer = 0;
    std::uint64_t m_toClient = 0;
};
