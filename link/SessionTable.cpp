#include "link/SessionTable.h"

Session* SessionTable::FindClient(const IpEndpoint& client)
{
    const auto found = m_byClient.find(client);
    return found == m_byClient.end() ? nullptr : found->second.get();
}

Session* SessionTable::FindId(std::uint64_t id)
{
    const auto found = m_byId.find(id);
    return found == m_byId.end() ? nullptr : found->second;
}

std::size_t SessionTable::CountAt(const IpEndpoint& address) const
{
    const auto found = m_perAddress.find(address.WithPort(0));
    return found == m_perAddress.end() ? 0 : found->second;
}

void SessionTable::Unplace(Session& session)
{
    if (session.order)
        session.order->erase(session.place);
    session.order = nullptr;
}

void SessionTable::Place(Session& session)
{
    Unplace(session);
    if (session.waiting == 0)
        session.order = session.replied ? &m_idleReplied : &m_idleUnreplied;
    else if (!session.replied)
        session.order = &m_busyUnreplied;
    if (session.order)
        session.place = session.order->insert(session.order->end(), &session);
}

Session& SessionTable::Add(std::unique_ptr<Session> session, LinkTime now)
{
    Session& added = *session;
    added.lastTraffic = now;
    Place(added);
    m_byId[added.id] = &added;
    ++m_perAddress[added.client.WithPort(0)];
    ++m_portUse[added.local.Port()];
    m_byClient[added.client] = std::move(session);
    return added;
}

std::unique_ptr<Session> SessionTable::Remove(std::uint64_t id)
{
    Session* session = FindId(id);
    if (!session)
        return nullptr;
    Unplace(*session);
    m_byId.erase(id);
    if (--m_perAddress[session->client.WithPort(0)] == 0)
        m_perAddress.erase(session->client.WithPort(0));
    --m_portUse[session->local.Port()];
    auto owned = std::move(m_byClient[session->client]);
    m_byClient.erase(session->client);
    return owned;
}

void SessionTable::Touch(Session& session, LinkTime now)
{
    session.lastTraffic = now;
    Place(session);  // to the end of its order: the most recent traffic
}

void SessionTable::AddWaiting(Session& session)
{
    if (session.waiting++ == 0)
        Place(session);
}

void SessionTable::RemoveWaiting(Session& session, LinkTime now)
{
    if (--session.waiting > 0)
        return;
    session.lastTraffic = now;
    Place(session);
}

void SessionTable::MarkReplied(Session& session)
{
    if (session.replied)
        return;
    session.replied = true;
    Place(session);
}

Session* SessionTable::MakeRoomCandidate()
{
    for (const auto* order : {&m_idleUnreplied, &m_idleReplied, &m_busyUnreplied})
        if (!order->empty())
            return order->front();
    return m_byId.empty() ? nullptr : m_byId.begin()->second;
}

std::optional<LinkTime> SessionTable::NextExpiry(LinkTime idle) const
{
    std::optional<LinkTime> next;
    for (const auto* order : {&m_idleUnreplied, &m_idleReplied})
        if (!order->empty())
            next = std::min(next.value_or(LinkTime::max()), order->front()->lastTraffic + idle);
    return next;
}

Session* SessionTable::Expired(LinkTime now, LinkTime idle)
{
    for (auto* order : {&m_idleUnreplied, &m_idleReplied})
        if (!order->empty() && order->front()->lastTraffic + idle <= now)
            return order->front();
    return nullptr;
}
