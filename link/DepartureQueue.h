#pragma once
// The datagrams waiting to leave, ordered by departure time and, among
// equal times, by the order they were queued in. Moving departures earlier
// happens a slice at a time, so that the engine serves its sockets between
// slices however many datagrams wait.

#include <cstdint>
#include <functional>
#include <vector>

#include "link/DatagramStore.h"
#include "link/Impairment.h"
#include "framework/core/IpEndpoint.h"

struct WaitingDatagram {
    LinkTime departure{};
    std::uint64_t sequence = 0;  // set by the queue
    LinkTime arrival{};
    DatagramStore::Block block;
    std::uint32_t length = 0;
    Direction direction = Direction::ToServer;
    std::uint64_t session = 0;   // with a session per client: whose
    IpEndpoint target;           // without: where it goes
    std::uint16_t via = 0;       // without, to a client: the listening socket it came in on
    Fate fate;                   // what its departure logs
    bool copy = false;           // the second of a duplicated pair
    std::uint64_t number = 0;    // its arrival's, per direction
    IpEndpoint client;         // whose it is
};

class DepartureQueue {
public:
    // A change to departures (only ever earlier) a rescheduling applies.
    using Rule = std::function<void(WaitingDatagram&)>;

    // Nothing that may leave: those still set aside by a rescheduling are not here yet.
    bool Empty() const { return m_heap.empty(); }
    // Every datagram waiting, set aside ones too.
    std::size_t Size() const;
    const WaitingDatagram& Next() const { return m_heap.front(); }

    void Push(WaitingDatagram datagram);
    WaitingDatagram Pop();

    // Lets rule move departures earlier, without re-sorting millions at
    // once: what waits now is set aside (a rescheduling under way sets
    // aside what it has moved already) and comes back through
    // RescheduleSome, earliest first, each datagram through this rule and
    // those given after it. New datagrams queue as usual meanwhile.
    void BeginReschedule(Rule rule);
    bool Rescheduling() const { return !m_aside.empty(); }
    // Brings back at most `most` datagrams set aside.
    void RescheduleSome(std::size_t most);
    // Gives the room of an empty queue back to the allocator (after a flood).
    void ReleaseRoom();

private:
    struct Aside {
        std::vector<WaitingDatagram> heap;  // in the queue's order as it was set aside
        std::size_t firstRule = 0;          // the rules from this one on apply to it
    };
    std::vector<WaitingDatagram> m_heap;
    std::vector<Aside> m_aside;  // oldest first
    std::vector<Rule> m_rules;   // of the rescheduling under way
    std::uint64_t m_nextSequence = 0;
};
