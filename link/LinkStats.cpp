#include "LinkStats.h"

namespace {

constexpr const char* kDirectionNames[] = {"to-server", "to-client"};
constexpr const char* kDirectionCounterNames[] = {"received",     "sent",         "periodic-loss", "burst-loss",
                                                  "random-loss",  "queue-full",   "no-room",       "duplicated",
                                                  "reordered",    "send-failed"};
constexpr const char* kEngineCounterNames[] = {"sessions.opened",       "sessions.closed-idle",
                                               "sessions.closed-limit", "sessions.open-failed",
                                               "closed-session-drops",  "no-client-drops",
                                               "stray-drops"};
static_assert(std::size(kDirectionCounterNames) == static_cast<size_t>(DirectionCounter::kCount));
static_assert(std::size(kEngineCounterNames) == static_cast<size_t>(EngineCounter::kCount));

}  // namespace

LinkStats LinkCounters::Snapshot() const
{
    LinkStats stats;
    for (size_t d = 0; d < 2; ++d)
        for (size_t c = 0; c < stats.directions[d].size(); ++c)
            stats.directions[d][c] = m_directions[d][c].load(std::memory_order_relaxed);
    for (size_t c = 0; c < stats.engine.size(); ++c)
        stats.engine[c] = m_engine[c].load(std::memory_order_relaxed);
    stats.sessionsOpen = m_sessionsOpen.load(std::memory_order_relaxed);
    stats.waiting = m_waiting.load(std::memory_order_relaxed);
    stats.waitingBytes = m_waitingBytes.load(std::memory_order_relaxed);
    return stats;
}

std::vector<std::string> LinkStatsLines(const LinkStats& stats)
{
    std::vector<std::string> lines;
    for (size_t d = 0; d < 2; ++d)
        for (size_t c = 0; c < stats.directions[d].size(); ++c)
            lines.push_back(std::string(kDirectionNames[d]) + "." + kDirectionCounterNames[c] + " " +
                            std::to_string(stats.directions[d][c]));
    for (size_t c = 0; c < stats.engine.size(); ++c)
        lines.push_back(std::string(kEngineCounterNames[c]) + " " + std::to_string(stats.engine[c]));
    lines.push_back("sessions.open " + std::to_string(stats.sessionsOpen));
    lines.push_back("waiting " + std::to_string(stats.waiting));
    lines.push_back("waiting-bytes " + std::to_string(stats.waitingBytes));
    return lines;
}
