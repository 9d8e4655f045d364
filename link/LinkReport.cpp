#include "link/LinkReport.h"

#include "framework/core/CAsyncSocket.h"
#include "framework/core/Ipv4Text.h"
#include "link/LinkLines.h"
#include "relay/LogHost.h"
#include "relay/LogLines.h"

namespace {

CString EndpointText(const Ipv4Endpoint& endpoint)
{
    return FormatIpv4(endpoint.address) + CString::Formatted(L":%u", unsigned{endpoint.port});
}

CString SessionLine(const Ipv4Endpoint& client, const CString& tail) { return L"Session " + EndpointText(client) + tail; }

}  // namespace

void LinkReport::Dropped(Direction direction, DropCause cause)
{
    switch (cause) {
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
    case DropCause::None:
        break;
    }
}

void LinkReport::NoRoom(Direction direction)
{
    m_counters.Add(direction, DirectionCounter::NoRoomDrops);
    Log(kNoRoomLine);
}

void LinkReport::Left(Direction direction, const Fate& fate, bool copy, bool sent)
{
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
    if (fate.delayLine)
        Log(CString::Formatted(kDelayLine, fate.delayMs));
    if (fate.count > 0)
        Log(CString::Formatted(kCountLine, fate.count));
}

void LinkReport::NoClientYet()
{
    m_counters.Add(EngineCounter::NoClientDrops);
    Log(kNoClientLine);
}

void LinkReport::NotFromServer()
{
    m_counters.Add(EngineCounter::StrayDrops);
    Log(kStrayLine);
}

void LinkReport::LostWithSession()
{
    m_counters.Add(EngineCounter::ClosedSessionDrops);
    Log(kClosedSessionLine);
}

void LinkReport::SessionOpened(const Ipv4Endpoint& client, unsigned port)
{
    m_counters.Add(EngineCounter::SessionsOpened);
    Log(SessionLine(client, CString::Formatted(kSessionOpenedTail, port)));
}

void LinkReport::SessionNotOpened(const Ipv4Endpoint& client, int systemError)
{
    m_counters.Add(EngineCounter::SessionOpenFailures);
    Log(SessionLine(client, kSessionFailedTail + CAsyncSocket::ErrorText(systemError) + L".\r\n"));
}

void LinkReport::SessionClosed(const Ipv4Endpoint& client, SessionEnd end)
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
