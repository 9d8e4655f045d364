#pragma once
// What the link engine has done, per cause: counted by the engine's thread
// in relaxed atomics, read at any time as a snapshot.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "link/Direction.h"

enum class DirectionCounter {
    Received,
    Sent,
    PeriodicDrops,
    BurstDrops,
    RandomDrops,
    QueueDrops,
    NoRoomDrops,
    Duplicated,
    Reordered,
    SendFailures,
    Corrupted,
    OutageDrops,
    kCount
};

enum class EngineCounter {
    SessionsOpened,
    SessionsClosedIdle,
    SessionsClosedLimit,
    SessionOpenFailures,
    ClosedSessionDrops,
    NoClientDrops,
    StrayDrops,
    OwnAddressDrops,
    NotAllowedDrops,
    SessionsRefused,
    kCount
};

struct LinkStats {
    PerDirection<std::array<std::uint64_t, static_cast<size_t>(DirectionCounter::kCount)>> directions{};
    std::array<std::uint64_t, static_cast<size_t>(EngineCounter::kCount)> engine{};
    std::uint64_t sessionsOpen = 0;
    std::uint64_t waiting = 0;       // datagrams waiting to leave
    std::uint64_t waitingBytes = 0;  // storage they hold

    std::uint64_t Of(Direction direction, DirectionCounter c) const { return directions[direction][static_cast<size_t>(c)]; }
    std::uint64_t Of(EngineCounter c) const { return engine[static_cast<size_t>(c)]; }
};

// Every counter and gauge with its name, in a fixed order, e.g.
// {"to-server.random-loss", 12}.
std::vector<std::pair<std::string, std::uint64_t>> LinkStatsEntries(const LinkStats& stats);

class LinkCounters {
public:
    // Only the engine's thread adds, so a plain load and store suffice.
    void Add(Direction direction, DirectionCounter c, std::uint64_t n = 1) { Bump(m_directions[direction][static_cast<size_t>(c)], n); }
    void Add(EngineCounter c) { Bump(m_engine[static_cast<size_t>(c)], 1); }
    void SetGauges(std::uint64_t sessionsOpen, std::uint64_t waiting, std::uint64_t waitingBytes)
    {
        m_sessionsOpen.store(sessionsOpen, std::memory_order_relaxed);
        m_waiting.store(waiting, std::memory_order_relaxed);
        m_waitingBytes.store(waitingBytes, std::memory_order_relaxed);
    }
    LinkStats Snapshot() const;

private:
    static void Bump(std::atomic<std::uint64_t>& counter, std::uint64_t n)
    {
        counter.store(counter.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
    }
    PerDirection<std::array<std::atomic<std::uint64_t>, static_cast<size_t>(DirectionCounter::kCount)>> m_directions{};
    std::array<std::atomic<std::uint64_t>, static_cast<size_t>(EngineCounter::kCount)> m_engine{};
    std::atomic<std::uint64_t> m_sessionsOpen{0}, m_waiting{0}, m_waitingBytes{0};
};
