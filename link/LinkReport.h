#pragma once
// What the link engine tells about what it did: each event counted in the
// stats and, where it has one, said in its log line. The engine's parts
// report here and nowhere else, so one event always gives the same count
// and the same line.

#include "framework/core/CString.h"
#include "framework/core/IpEndpoint.h"
#include "link/Direction.h"
#include "link/Impairment.h"
#include "link/LinkClock.h"
#include "link/LinkStats.h"
#include "relay/DatagramObserver.h"

class LogHost;

// One datagram on one hop, for an observer: its number and arrival, whose
// it is, its bytes and the two ends it travelled between.
struct Hop {
    std::uint64_t number = 0;
    LinkTime arrival{};
    IpEndpoint client;
    IpEndpoint from, to;
    const unsigned char* bytes = nullptr;
    int length = 0;
};

class LinkReport {
public:
    explicit LinkReport(LogHost& log) : m_log(log) {}

    // Told about each datagram from now on (null: nobody), with the times
    // of the clock the engine runs on. Before the engine's thread starts.
    void Observe(DatagramObserver* observer, const LinkClock& clock)
    {
        m_observer = observer;
        m_clock = &clock;
    }

    // It arrived: counted, and its number (per direction, from 1) returned.
    std::uint64_t Received(Direction direction)
    {
        m_counters.Add(direction, DirectionCounter::Received);
        return ++m_arrivals[direction];
    }
    // Its arrival, for the observer, once it was not dropped at once.
    void Arrived(Direction direction, const Hop& hop)
    {
        if (m_observer)
            Tell(DatagramStep::Arrived, direction, hop, hop.arrival);
    }
    // A rule of the link dropped it.
    void Dropped(Direction direction, const Fate& fate, const Hop& hop);
    // No room left to hold it while it waits.
    void NoRoom(Direction direction, const Hop& hop);
    // It left (or the system refused it: sent false); copy: the second of a duplicated pair.
    void Left(Direction direction, const Fate& fate, bool copy, bool sent, const Hop& hop);
    // Arrivals dropped before a direction was theirs: numbered as replies.
    void NoClientYet(Hop hop);
    void NotFromServer(Hop hop);
    // Client datagrams refused at the door: sent by one of the relay's own
    // sockets (relayed, it would loop), or by a client --allow leaves out.
    void FromOwnSocket(Hop hop);
    void NotAllowed(Hop hop);
    // A datagram of a session that closed before it could leave.
    void LostWithSession(Direction direction, const Hop& hop);
    // Replies a closing session had not taken yet; counted, not logged.
    void UnreadAtClose() { m_counters.Add(EngineCounter::ClosedSessionDrops); }

    enum class SessionEnd { Idle, Limit };
    void SessionOpened(const IpEndpoint& client, unsigned port);
    void SessionNotOpened(const IpEndpoint& client, int systemError);
    // Its address holds --sessions-per-address already; its datagram is dropped.
    void SessionRefused(const IpEndpoint& client);
    void SessionClosed(const IpEndpoint& client, SessionEnd end);

    void SetGauges(std::uint64_t sessionsOpen, std::uint64_t waiting, std::uint64_t waitingBytes)
    {
        m_counters.SetGauges(sessionsOpen, waiting, waitingBytes);
    }
    LinkStats Snapshot() const { return m_counters.Snapshot(); }
    // Scrolls the log once after a turn that wrote to it.
    void EndTurn();

private:
    void Log(const CString& line);
    // Tells the observer; cause set: dropped (at departure, when step is Left).
    void Tell(DatagramStep step, Direction direction, const Hop& hop, LinkTime time, const Fate* fate = nullptr,
              const char* cause = nullptr, bool copy = false);
    // A datagram dropped as it came, before any rule: numbered as an
    // arrival that way, told, counted under the engine's counter, logged.
    void DroppedOnArrival(Direction direction, Hop hop, const char* cause, EngineCounter counter,
                          const wchar_t* line);

    LogHost& m_log;
    DatagramObserver* m_observer = nullptr;
    const LinkClock* m_clock = nullptr;
    PerDirection<std::uint64_t> m_arrivals;
    LinkCounters m_counters;
    bool m_logged = false;
};
