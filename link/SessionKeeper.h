#pragma once
// The sessions of --clients each at work: each client's own socket towards
// the server, opened on its first datagram, watched by the engine's wait,
// and closed when idle too long or when the bound on sessions needs room.
// Lives on the engine's thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "framework/core/DatagramSocket.h"
#include "framework/core/IpEndpoint.h"
#include "link/LinkClock.h"
#include "link/SessionTable.h"

class DepartureBatch;
class LinkReport;
class SocketWait;

class SessionKeeper {
public:
    // `leaving` is flushed before a session closes, so that what leaves
    // through it goes first. At most mostSessions open, mostPerAddress of
    // them for the clients of one address.
    SessionKeeper(std::size_t mostSessions, std::size_t mostPerAddress, LinkTime idleLimit, SocketWait& wait,
                  LinkReport& report, DepartureBatch& leaving);

    // Where the socket of a session whose client came in on listening
    // socket `via` is bound: its address, port 0; and the address it sends
    // from towards the server (unspecified: local's).
    struct Place {
        IpEndpoint local;
        DatagramSocket::Stack stack = DatagramSocket::Stack::Single;
        IpEndpoint sendsFrom = local;
    };
    void SetPlaces(std::vector<Place> places) { m_places = std::move(places); }

    Session* Find(std::uint64_t id) { return m_table.FindId(id); }
    // The client's session, opened now if it has none; nothing when no
    // socket could be had for it (reported).
    Session* ForClient(const IpEndpoint& client, std::uint16_t via, LinkTime now);

    void Touch(Session& session, LinkTime now) { m_table.Touch(session, now); }
    // The server answered it: it is in two-way use, the last to make room.
    void Replied(Session& session, LinkTime now)
    {
        m_table.MarkReplied(session);
        m_table.Touch(session, now);
    }
    bool UsesPort(std::uint16_t port) const { return m_table.UsesPort(port); }
    void AddWaiting(Session& session) { m_table.AddWaiting(session); }
    void RemoveWaiting(Session& session, LinkTime now) { m_table.RemoveWaiting(session, now); }

    // Closes the sessions idle for the limit at `now`.
    void CloseIdle(LinkTime now);
    // When the next session reaches the idle limit, if any is idle.
    std::optional<LinkTime> NextExpiry() const { return m_table.NextExpiry(m_idleLimit); }
    std::size_t Size() const { return m_table.Size(); }

    // Replies counted when a session closes; the rest go uncounted, so a
    // server that keeps sending cannot hold the engine's thread there.
    static constexpr int kMostCountedAtClose = 4096;

private:
    enum class CloseReason { Idle, Limit };
    Session* Open(const IpEndpoint& client, std::uint16_t via, LinkTime now);
    bool OpenSocket(Session& session);
    void MakeRoom();
    void Close(Session& session, CloseReason reason);

    std::vector<Place> m_places;
    std::size_t m_mostSessions;
    std::size_t m_mostPerAddress;
    LinkTime m_idleLimit;
    SocketWait& m_wait;
    LinkReport& m_report;
    DepartureBatch& m_leaving;
    SessionTable m_table;
    std::unique_ptr<unsigned char[]> m_discard;  // where a closing session's replies are thrown
};
