#pragma once
// The datagrams waiting to leave, ordered by departure time and, among
// equal times, by the order they were queued in.

#include <cstdint>
#include <vector>

#include "link/DatagramStore.h"
#include "link/Impairment.h"
#include "framework/core/Ipv4Endpoint.h"

struct WaitingDatagram {
    LinkTime departure{};
    std::uint64_t sequence = 0;  // set by the queue
    LinkTime arrival{};
    DatagramStore::Block block;
    std::uint32_t length = 0;
    Direction direction = Direction::ToServer;
    std::uint64_t session = 0;   // with a session per client: whose
    Ipv4Endpoint target;         // without: where it goes
    Fate fate;                   // what its departure logs
    bool copy = false;           // the second of a duplicated pair
    std::uint64_t number = 0;    // its arrival's, per direction
    Ipv4Endpoint client;         // whose it is
};

class DepartureQueue {
public:
    bool Empty() const { return m_heap.empty(); }
    std::size_t Size() const { return m_heap.size(); }
    const WaitingDatagram& Next() const { return m_heap.front(); }

    void Push(WaitingDatagram datagram);
    WaitingDatagram Pop();

    // Lets fn move departures earlier or later, then restores the order.
    template <typename Fn>
    void Reschedule(Fn fn)
    {
        for (auto& datagram : m_heap)
            fn(datagram);
        Reorder();
    }

private:
    void Reorder();
    std::vector<WaitingDatagram> m_heap;
    std::uint64_t m_nextSequence = 0;
};
