#include "link/LinkStats.h"

namespace {

constexpr const char* kDirectionCounterNames[] = {"received",     "sent",         "periodic-loss", "burst-loss",
                                                  "random-loss",  "queue-full",   "no-room",       "duplicated",
                                                  "reordered",    "send-failed",  "corrupted",     "outage"};
constexpr const char* kEngineCounterNames[] = {"sessions.opened",       "sessions.closed-idle",
                                               "sessions.closed-limit", "sessions.open-failed",
                                               "closed-session-drops",  "no-client-drops",
                                               "stray-drops",           "own-address",
                                               "not-allowed",           "sessions.refused"};
static_assert(std::size(kDirectionCounterNames) == static_cast<size_t>(DirectionCounter::kCount));
static_assert(std::size(kEngineCounterNames) == static_cast<size_t>(EngineCounter::kCount));

}  // namespace

LinkStats LinkCounters::Snapshot() const
{
    LinkStats stats;
    for (const Direction d : kBothDirections)
        for (size_t c = 0; c < stats.directions[d].size(); ++c)
            stats.directions[d][c] = m_directions[d][c].load(std::memory_order_relaxed);
    for (size_t c = 0; c < stats.engine.size(); ++c)
        stats.engine[c] = m_engine[c].load(std::memory_order_relaxed);
    stats.sessionsOpen = m_sessionsOpen.load(std::memory_order_relaxed);
    stats.waiting = m_waiting.load(std::memory_order_relaxed);
    stats.waitingBytes = m_waitingBytes.load(std::memory_order_relaxed);
    return stats;
}

std::vector<std::pair<std::string, std::uint64_t>> LinkStatsEntries(const LinkStats& stats)
{
    std::vector<std::pair<std::string, std::uint64_t>> entries;
    for (const Direction d : kBothDirections)
        for (size_t c = 0; c < stats.directions[d].size(); ++c)
            entries.emplace_back(std::string(DirectionName(d)) + "." + kDirectionCounterNames[c],
                                 stats.directions[d][c]);
    for (size_t c = 0; c < stats.engine.size(); ++c)
        entries.emplace_back(kEngineCounterNames[c], stats.engine[c]);
    entries.emplace_back("sessions.open", stats.sessionsOpen);
    entries.emplace_back("waiting", stats.waiting);
    entries.emplace_back("waiting-bytes", stats.waitingBytes);
    return entries;
}
