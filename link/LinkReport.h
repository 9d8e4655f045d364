#pragma once
// What the link engine tells about what it did: each event counted in the
// stats and, where it has one, said in its log line. The engine's parts
// report here and nowhere else, so one event always gives the same count
// and the same line.

#include "framework/core/CString.h"
#include "framework/core/Ipv4Endpoint.h"
#include "link/Direction.h"
#include "link/Impairment.h"
#include "link/LinkStats.h"

class LogHost;

class LinkReport {
public:
    explicit LinkReport(LogHost& log) : m_log(log) {}

    void Received(Direction direction) { m_counters.Add(direction, DirectionCounter::Received); }
    // A rule of the link dropped it.
    void Dropped(Direction direction, DropCause cause);
    // No room left to hold it while it waits.
    void NoRoom(Direction direction);
    // It left (or the system refused it: sent false); copy: the second of a duplicated pair.
    void Left(Direction direction, const Fate& fate, bool copy, bool sent);
    void NoClientYet();
    void NotFromServer();
    // A datagram of a session that closed before it could leave.
    void LostWithSession();
    // Replies a closing session had not taken yet; counted, not logged.
    void UnreadAtClose() { m_counters.Add(EngineCounter::ClosedSessionDrops); }

    enum class SessionEnd { Idle, Limit };
    void SessionOpened(const Ipv4Endpoint& client, unsigned port);
    void SessionNotOpened(const Ipv4Endpoint& client, int systemError);
    void SessionClosed(const Ipv4Endpoint& client, SessionEnd end);

    void SetGauges(std::uint64_t sessionsOpen, std::uint64_t waiting, std::uint64_t waitingBytes)
    {
        m_counters.SetGauges(sessionsOpen, waiting, waitingBytes);
    }
    LinkStats Snapshot() const { return m_counters.Snapshot(); }
    // Scrolls the log once after a turn that wrote to it.
    void EndTurn();

private:
    void Log(const CString& line);

    LogHost& m_log;
    LinkCounters m_counters;
    bool m_logged = false;
};
