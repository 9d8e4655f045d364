#include "link/SessionTable.h"

Session* SessionTable::FindClient(const Ipv4Endpoint& client)
{
    const auto found = m_byClient.find(client);
    return found == m_byClient.end() ? nullptr : found->second.get();
}

Session* SessionTable::FindId(std::uint64_t id)
{
    const auto found = m_byId.find(id);
    return found == m_byId.end() ? nullptr : found->second;
}

Session& SessionTable::Add(std::unique_ptr<Session> session, LinkTime now)
{
    Session& added = *session;
    added.lastTraffic = now;
    added.idlePlace = m_idle.insert(m_idle.end(), &added);
    m_byId[added.id] = &added;
    m_byClient[added.client] = std::move(session);
    return added;
}

std::unique_ptr<Session> SessionTable::Remove(std::uint64_t id)
{
    Session* session = FindId(id);
    if (!session)
        return nullptr;
    if (session->waiting == 0)
        m_idle.erase(session->idlePlace);
    m_byId.erase(id);
    auto owned = std::move(m_byClient[session->client]);
    m_byClient.erase(session->client);
    return owned;
}

void SessionTable::Touch(Session& session, LinkTime now)
{
    session.lastTraffic = now;
    if (session.waiting == 0)
        m_idle.splice(m_idle.end(), m_idle, session.idlePlace);
}

void SessionTable::AddWaiting(Session& session)
{
    if (session.waiting++ == 0)
        m_idle.erase(session.idlePlace);
}

void SessionTable::RemoveWaiting(Session& session, LinkTime now)
{
    if (--session.waiting > 0)
        return;
    session.lastTraffic = now;
    session.idlePlace = m_idle.insert(m_idle.end(), &session);
}

Session* SessionTable::MakeRoomCandidate()
{
    if (!m_idle.empty())
        return m_idle.front();
    return m_byId.empty() ? nullptr : m_byId.begin()->second;
}

std::optional<LinkTime> SessionTable::NextExpiry(LinkTime idle) const
{
    if (m_idle.empty())
        return std::nullopt;
    return m_idle.front()->lastTraffic + idle;
}

Session* SessionTable::Expired(LinkTime now, LinkTime idle)
{
    if (m_idle.empty() || m_idle.front()->lastTraffic + idle > now)
        return nullptr;
    return m_idle.front();
}
