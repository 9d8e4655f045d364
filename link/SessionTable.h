#pragma once
// The sessions of --clients each: one per client, each with its own socket
// towards the server. Sessions with nothing waiting are kept in the order
// of their last traffic, so the one idle longest is found first, both for
// idle expiry and when the bound on sessions makes room for a new client.

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

#include "framework/core/CAsyncSocket.h"
#include "framework/core/Ipv4Endpoint.h"
#include "link/LinkClock.h"

struct Session {
    std::uint64_t id = 0;
    Ipv4Endpoint client;
    CAsyncSocket socket;
    std::uint16_t port = 0;  // the socket's own
    LinkTime lastTraffic{};
    int waiting = 0;  // its datagrams waiting to leave
    std::list<Session*>::iterator idlePlace;
};

class SessionTable {
public:
    std::size_t Size() const { return m_byId.size(); }
    Session* FindClient(const Ipv4Endpoint& client);
    Session* FindId(std::uint64_t id);

    // Takes a new session for `client` (its socket opened by the caller).
    Session& Add(std::unique_ptr<Session> session, LinkTime now);
    std::unique_ptr<Session> Remove(std::uint64_t id);
    std::uint64_t NextId() { return ++m_lastId; }

    void Touch(Session& session, LinkTime now);
    void AddWaiting(Session& session);
    void RemoveWaiting(Session& session, LinkTime now);

    // The session idle longest (nothing waiting), or else the oldest one.
    Session* MakeRoomCandidate();
    // When the session idle longest reaches `idle`, if any is idle.
    std::optional<LinkTime> NextExpiry(LinkTime idle) const;
    // A session idle for at least `idle` at `now`, if any.
    Session* Expired(LinkTime now, LinkTime idle);

private:
    std::unordered_map<Ipv4Endpoint, std::unique_ptr<Session>> m_byClient;
    std::map<std::uint64_t, Session*> m_byId;  // in the order they opened
    std::list<Session*> m_idle;                // nothing waiting; least recent traffic first
    std::uint64_t m_lastId = 0;
};
