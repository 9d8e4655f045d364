#include "link/LinkReport.h"

#include "framework/core/CAsyncSocket.h"
#include "link/LinkLines.h"
#include "relay/LogHost.h"
#include "relay/LogLines.h"

namespace {

CString SessionLine(const IpEndpoint& client, const CString& tail) { return L"Session " + client.ToText() + tail; }

PacketEndpoint Packet(const IpEndpoint& endpoint) { return PacketEndpoint::From(endpoint); }

// The counters' names as the stats line has them.
const char* CauseName(DropCause cause)
{
    switch (cause) {
    case DropCause::Periodic:
        return "periodic-loss";
    case DropCause::Burst:
        return "burst-loss";
    case DropCause::Random:
        return "random-loss";
    case DropCause::QueueFull:
        return "queue-full";
    case DropCause::Outage:
        return "outage";
    case DropCause::None:
        break;
    }
    return "none";
}

}  // namespace

void LinkReport::Tell(DatagramStep step, Direction direction, const Hop& hop, LinkTime time, const Fate* fate,
                      const char* cause, bool copy)
{
    DatagramEvent event;
    event.step = step;
    event.way = direction == Direction::ToServer ? DatagramWay::ToServer : DatagramWay::ToClient;
    event.number = hop.number;
    event.timeNs = time.count();
    event.arrivalNs = hop.arrival.count();
    event.source = Packet(hop.from);
    event.destination = Packet(hop.to);
    event.client = Packet(hop.client);
    event.bytes = hop.bytes;
    event.size = static_cast<std::uint32_t>(hop.length);
    event.cause = cause;
    event.copy = copy ? 2 : 1;
    if (fate) {
        if (fate->drop == DropCause::QueueFull)
            event.waiting = fate->waiting;
        event.delayed = fate->delayLine || fate->jittered;
        event.delayMs = fate->jittered ? fate->settingDelayMs : fate->delayMs;
        event.jittered = fate->jittered;
        event.jitterNs = fate->jitterNs;
        event.count = fate->count;
        event.reordered = fate->reordered;
    }
    m_observer->OnDatagram(event);
}

void LinkReport::Dropped(Direction direction, const Fate& fate, const Hop& hop)
{
    if (m_observer)
        Tell(DatagramStep::Dropped, direction, hop, hop.arrival, &fate, CauseName(fate.drop));
    switch (fate.drop) {
    case DropCause::Periodic:
        m_counters.Add(direction, DirectionCounter::PeriodicDrops);
        Log(kMissLine);
        break;
    case DropCause::Burst:
        m_counters.Add(direction, DirectionCounter::BurstDrops);
        Log(kBurstLossLine);
        break;
    case DropCause::Random:
        m_counters.Add(direction, DirectionCounter::RandomDrops);
        Log(kRandomLossLine);
        break;
    case DropCause::QueueFull:
        m_counters.Add(direction, DirectionCounter::QueueDrops);
        Log(kQueueFullLine);
        break;
    case DropCause::Outage:
        m_counters.Add(direction, DirectionCounter::OutageDrops);
        Log(kOutageLine);
        break;
    case DropCause::None:
        break;
    }
}

void LinkReport::NoRoom(Direction direction, const Hop& hop)
{
    if (m_observer)
        Tell(DatagramStep::Dropped, direction, hop, hop.arrival, nullptr, "no-room");
    m_counters.Add(direction, DirectionCounter::NoRoomDrops);
    Log(kNoRoomLine);
}

void LinkReport::Left(Direction direction, const Fate& fate, bool copy, bool sent, const Hop& hop)
{
    if (m_observer)
        Tell(DatagramStep::Left, direction, hop, m_clock->Now(), &fate, sent ? nullptr : "send-failed", copy);
    m_counters.Add(direction, sent ? DirectionCounter::Sent : DirectionCounter::SendFailures);
    if (copy) {
        m_counters.Add(direction, DirectionCounter::Duplicated);
        Log(kDuplicatedLine);
        return;
    }
    if (fate.reordered) {
        m_counters.Add(direction, DirectionCounter::Reordered);
        Log(kReorderedLine);
    }
    if (fate.Corrupted()) {
        m_counters.Add(direction, DirectionCounter::Corrupted);
        Log(CString::Formatted(kCorruptedLine, fate.corruptBit));
    }
    if (fate.delayLine)
        Log(CString::Formatted(kDelayLine, fate.delayMs));
    if (fate.count > 0)
        Log(CString::Formatted(kCountLine, fate.count));
}

void LinkReport::NoClientYet(Hop hop)
{
    DroppedOnArrival(Direction::ToClient, hop, "no-client-drops", EngineCounter::NoClientDrops, kNoClientLine);
}

void LinkReport::NotFromServer(Hop hop)
{
    DroppedOnArrival(Direction::ToClient, hop, "stray-drops", EngineCounter::StrayDrops, kStrayLine);
}

void LinkReport::FromOwnSocket(Hop hop)
{
    DroppedOnArrival(Direction::ToServer, hop, "own-address", EngineCounter::OwnAddressDrops, kOwnAddressLine);
}

void LinkReport::NotAllowed(Hop hop)
{
    DroppedOnArrival(Direction::ToServer, hop, "not-allowed", EngineCounter::NotAllowedDrops, kNotAllowedLine);
}

void LinkReport::DroppedOnArrival(Direction direction, Hop hop, const char* cause, EngineCounter counter,
                                  const wchar_t* line)
{
    hop.number = ++m_arrivals[direction];
    if (m_observer)
        Tell(DatagramStep::Dropped, direction, hop, hop.arrival, nullptr, cause);
    m_counters.Add(counter);
    Log(line);
}

void LinkReport::LostWithSession(Direction direction, const Hop& hop)
{
    if (m_observer)
        Tell(DatagramStep::Left, direction, hop, m_clock->Now(), nullptr, "closed-session-drops");
    m_counters.Add(EngineCounter::ClosedSessionDrops);
    Log(kClosedSessionLine);
}

void LinkReport::SessionOpened(const IpEndpoint& client, unsigned port)
{
    m_counters.Add(EngineCounter::SessionsOpened);
    Log(SessionLine(client, CString::Formatted(kSessionOpenedTail, port)));
}

void LinkReport::SessionNotOpened(const IpEndpoint& client, int systemError)
{
    m_counters.Add(EngineCounter::SessionOpenFailures);
    Log(SessionLine(client, kSessionFailedTail + CAsyncSocket::ErrorText(systemError) + L".\r\n"));
}

void LinkReport::SessionRefused(const IpEndpoint& client)
{
    m_counters.Add(EngineCounter::SessionsRefused);
    Log(SessionLine(client, kSessionRefusedTail));
}

void LinkReport::SessionClosed(const IpEndpoint& client, SessionEnd end)
{
    m_counters.Add(end == SessionEnd::Idle ? EngineCounter::SessionsClosedIdle : EngineCounter::SessionsClosedLimit);
    Log(SessionLine(client, end == SessionEnd::Idle ? kSessionIdleTail : kSessionLimitTail));
}

void LinkReport::EndTurn()
{
    if (!m_logged)
        return;
    m_log.ScrollLogToEnd();
    m_logged = false;
}

void LinkReport::Log(const CString& line)
{
    m_log.AppendLog(line);
    m_logged = true;
}
