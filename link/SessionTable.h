#pragma once
// The sessions of --clients each: one per client, each with its own socket
// towards the server. Sessions with nothing waiting are kept in the order
// of their last traffic, so the one idle longest is found first, both for
// idle expiry and when the bound on sessions makes room for a new client.
// Room is made first from sessions the server never answered: a spray of
// one-datagram sources cannot push out a session in real two-way use.

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "framework/core/DatagramSocket.h"
#include "framework/core/IpEndpoint.h"
#include "link/LinkClock.h"

struct Session {
    std::uint64_t id = 0;
    IpEndpoint client;
    std::uint16_t via = 0;  // the listening socket it came in on, where its replies leave
    DatagramSocket socket;
    IpEndpoint local;  // the socket's own address
    LinkTime lastTraffic{};
    int waiting = 0;       // its datagrams waiting to leave
    bool replied = false;  // the server has answered it
    // Its place in one of the table's orders (none while busy and replied).
    std::list<Session*>* order = nullptr;
    std::list<Session*>::iterator place;
};

class SessionTable {
public:
    std::size_t Size() const { return m_byId.size(); }
    Session* FindClient(const IpEndpoint& client);
    Session* FindId(std::uint64_t id);

    // Takes a new session for `client` (its socket opened by the caller).
    Session& Add(std::unique_ptr<Session> session, LinkTime now);
    std::unique_ptr<Session> Remove(std::uint64_t id);
    std::uint64_t NextId() { return ++m_lastId; }

    void Touch(Session& session, LinkTime now);
    void AddWaiting(Session& session);
    void RemoveWaiting(Session& session, LinkTime now);
    void MarkReplied(Session& session);
    // Sessions open for clients at this address (its port not looked at).
    std::size_t CountAt(const IpEndpoint& address) const;
    // Whether a session's socket is bound at this port.
    bool UsesPort(std::uint16_t port) const { return m_portUse[port] > 0; }

    // The session to close for a new one: idle longest among those never
    // replied, else among the idle, else the one never replied whose client
    // has been quiet longest (a one-datagram source, not a client sending
    // on while its first replies are still delayed), else the one that
    // opened first.
    Session* MakeRoomCandidate();
    // When the session idle longest reaches `idle`, if any is idle.
    std::optional<LinkTime> NextExpiry(LinkTime idle) const;
    // A session idle for at least `idle` at `now`, if any.
    Session* Expired(LinkTime now, LinkTime idle);

private:
    std::unordered_map<IpEndpoint, std::unique_ptr<Session>> m_byClient;
    std::map<std::uint64_t, Session*> m_byId;  // in the order they opened
    // Moves the session to the end of the order its state belongs in.
    void Place(Session& session);
    void Unplace(Session& session);

    // Nothing waiting, least recent traffic first: never replied, replied.
    std::list<Session*> m_idleUnreplied, m_idleReplied;
    std::list<Session*> m_busyUnreplied;  // datagrams waiting, never replied; least recent traffic first
    std::unordered_map<IpEndpoint, std::size_t> m_perAddress;  // keyed with port 0
    std::vector<std::uint32_t> m_portUse = std::vector<std::uint32_t>(65536);  // sessions bound at each port
    std::uint64_t m_lastId = 0;
};
