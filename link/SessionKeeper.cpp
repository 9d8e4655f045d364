#include "link/SessionKeeper.h"

#include "framework/core/SocketWait.h"
#include "link/DepartureBatch.h"
#include "link/LinkReport.h"

namespace {

constexpr int kDiscardBytes = 65536;
constexpr int kSessionBufferBytes = 1 << 20;

}  // namespace

SessionKeeper::SessionKeeper(std::size_t mostSessions, std::size_t mostPerAddress, LinkTime idleLimit,
                             SocketWait& wait, LinkReport& report, DepartureBatch& leaving)
    : m_mostSessions(mostSessions),
      m_mostPerAddress(mostPerAddress),
      m_idleLimit(idleLimit),
      m_wait(wait),
      m_report(report),
      m_leaving(leaving),
      m_discard(std::make_unique_for_overwrite<unsigned char[]>(kDiscardBytes))
{
}

Session* SessionKeeper::ForClient(const IpEndpoint& client, std::uint16_t via, LinkTime now)
{
    Session* session = m_table.FindClient(client);
    if (!session && !(session = Open(client, via, now)))
        return nullptr;
    m_table.Touch(*session, now);
    return session;
}

Session* SessionKeeper::Open(const IpEndpoint& client, std::uint16_t via, LinkTime now)
{
    // One address (one host, or one spraying source ports) holds at most
    // its share, and never pushes out the sessions of others beyond it.
    if (m_table.CountAt(client) >= m_mostPerAddress) {
        m_report.SessionRefused(client);
        return nullptr;
    }
    if (m_table.Size() >= m_mostSessions)
        MakeRoom();
    auto session = std::make_unique<Session>();
    session->id = m_table.NextId();
    session->client = client;
    session->via = via;
    bool opened = OpenSocket(*session);
    if (!opened && m_table.Size() > 0) {
        // Out of sockets, most likely: the session idle longest makes room.
        MakeRoom();
        opened = OpenSocket(*session);
    }
    if (!opened) {
        m_report.SessionNotOpened(client, session->socket.LastError());
        return nullptr;
    }
    const std::uint16_t port = session->socket.LocalEndpoint().Port();
    session->local = session->via < m_places.size() ? m_places[session->via].sendsFrom.WithPort(port)
                                                    : session->socket.LocalEndpoint();
    m_report.SessionOpened(client, session->local.Port());
    return &m_table.Add(std::move(session), now);
}

bool SessionKeeper::OpenSocket(Session& session)
{
    const Place place = session.via < m_places.size() ? m_places[session.via] : Place{};
    if (!session.socket.Open(place.local, place.stack))
        return false;
    session.socket.SetBufferSizes(kSessionBufferBytes);
    if (m_wait.Add(session.socket, session.id))
        return true;
    session.socket.Close();
    return false;
}

void SessionKeeper::MakeRoom()
{
    if (Session* oldest = m_table.MakeRoomCandidate())
        Close(*oldest, CloseReason::Limit);
}

void SessionKeeper::Close(Session& session, CloseReason reason)
{
    m_leaving.Flush();  // those leaving through its socket go first
    // Replies that reached the session but were not taken yet are lost with it.
    IpEndpoint from;
    for (int taken = 0; taken < kMostCountedAtClose &&
                        session.socket.ReceiveDatagram(m_discard.get(), kDiscardBytes, from) >= 0;
         ++taken)
        m_report.UnreadAtClose();
    m_wait.Remove(session.socket);
    m_report.SessionClosed(session.client,
                           reason == CloseReason::Idle ? LinkReport::SessionEnd::Idle : LinkReport::SessionEnd::Limit);
    m_table.Remove(session.id);
}

void SessionKeeper::CloseIdle(LinkTime now)
{
    while (Session* idle = m_table.Expired(now, m_idleLimit))
        Close(*idle, CloseReason::Idle);
}
