#pragma once
// What the worker has done since it was launched, counted by the worker
// itself. Only the worker writes; any thread may read at any time. The
// counts are relaxed atomics bumped with a plain load and store (one writer
// needs no read-modify-write), so counting costs the forwarding path no
// lock, no allocation and no locked instruction.

#include <atomic>
#include <cstdint>

struct RelayStats {
    using Counter = std::atomic<std::uint64_t>;

    Counter fromClients{0};  // client datagrams taken in
    Counter toServer{0};     // client datagrams the system accepted for the server
    Counter dropped{0};      // client datagrams dropped by the drop period
    Counter fromServer{0};   // server datagrams taken in
    Counter toClient{0};     // server datagrams the system accepted for the last client
    Counter lostReplies{0};  // server datagrams before any client had sent
    Counter tooLong{0};      // datagrams longer than the relay's buffer, discarded
    Counter ownAddress{0};   // datagrams "from" the relay's own socket, dropped (else it would loop)
    Counter sendFailed{0};   // datagrams the system refused to send (a broadcast address, no route)
    Counter notAllowed{0};   // client datagrams from a sender the allow list leaves out, dropped
    Counter notFromServer{0};  // datagrams from others at dulvet's own socket towards the server, dropped

    // The worker only.
    static void Bump(Counter& counter)
    {
        counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }

    // Before the worker starts.
    void Reset()
    {
        for (Counter* counter : {&fromClients, &toServer, &dropped, &fromServer, &toClient, &lostReplies, &tooLong,
                                 &ownAddress, &sendFailed, &notAllowed, &notFromServer})
            counter->store(0, std::memory_order_relaxed);
    }
};
