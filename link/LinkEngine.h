#pragma once
// The link engine: one relay between clients and a server with per-datagram
// delay, jitter, loss, rate, duplicates and reordering in either direction,
// and with --clients each a session (its own socket) per client. One thread
// runs an event loop: it takes every datagram that is ready, decides its
// fate (Impairment), sends at once what may leave now (DepartureBatch) and
// queues the rest by departure time (DepartureQueue), then waits for
// sockets, the next departure, the next timed change or a signal together. Sessions live in
// SessionKeeper; every count and line goes through LinkReport. While datagrams wait for their time its thread runs at a raised
// priority where the system allows (ThreadTiming), so nothing in it may
// spin: every loop either waits or ends after a bounded amount of work. An object per relay; no globals.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "framework/core/DatagramSocket.h"
#include "framework/core/CWinThread.h"
#include "framework/core/IpEndpoint.h"
#include "framework/core/SocketWait.h"
#include "framework/core/StopSignal.h"
#include "framework/core/ThisMachine.h"
#include "link/DatagramStore.h"
#include "link/DepartureBatch.h"
#include "link/DepartureQueue.h"
#include "link/Direction.h"
#include "link/Impairment.h"
#include "link/LinkClock.h"
#include "link/LinkOptions.h"
#include "link/LinkReport.h"
#include "link/LinkStats.h"
#include "link/SessionKeeper.h"

class LogHost;

class LinkEngine {
public:
    // The options must have passed ValidateLinkOptions. The settings lines
    // (at Start and Modify) go to settingsLog, the lines about single
    // datagrams and sessions to datagramLog; both may be one host.
    LinkEngine(const LinkOptions& options, LogHost& settingsLog, LogHost& datagramLog, const LinkClock& clock);
    LinkEngine(const LinkOptions& options, LogHost& log, const LinkClock& clock)
        : LinkEngine(options, log, log, clock)
    {
    }
    ~LinkEngine();
    LinkEngine(const LinkEngine&) = delete;
    LinkEngine& operator=(const LinkEngine&) = delete;

    // Opens a listening socket on each address (and, without sessions, one
    // towards the server when none of those can reach it). False when one
    // cannot be opened: LastError is then the system's code
    // (CAsyncSocket::ErrorText says it in words) and FailedEndpoint where.
    bool Open();
    int LastError() const { return m_lastError; }
    const IpEndpoint& FailedEndpoint() const { return m_failedEndpoint; }
    // The first listening socket's port, and where each one listens.
    unsigned ListenPort() const { return m_listenAt.empty() ? 0 : m_listenAt.front().Port(); }
    const std::vector<IpEndpoint>& ListenEndpoints() const { return m_listenAt; }
    // Whether the listening socket for this address takes IPv4 and IPv6.
    bool TakesBothFamilies(std::size_t listenIndex) const;
    // The seed in use: the one given, or the one chosen.
    std::uint64_t Seed() const { return m_seed; }

    // Starts the engine's thread, which logs the three settings lines before
    // it takes a datagram; returns once they are logged. False, with nothing
    // logged, when the socket is not open, it already runs, or the system
    // gives no thread.
    bool Start();
    // A new periodic loss and delay, with the same three lines; the drop
    // counters carry on. A shorter delay also shortens the wait of
    // datagrams already waiting, to at most the new delay from their arrival.
    // Returns at once; WaitApplied waits for it.
    std::uint64_t Modify(double lossPercent, std::int32_t delayMs);
    // New settings (they must have passed ValidateLinkSettings), taken
    // whole between two datagrams, with `line` logged as they apply: the
    // random streams, the counters and the datagrams waiting carry on, and
    // a shorter delay shortens waits as Modify does. Any thread; returns a
    // ticket for WaitApplied, or nothing when kMostWaitingChanges wait already.
    //
    // With `at` (a time on the engine's clock: a scenario's step) the change
    // waits in the engine for that time: the first datagram that arrives
    // then or later meets it, and an idle engine wakes for it. Timed changes
    // apply in the order given, each once its time has come and those
    // before it have applied. An untimed change does not wait behind them;
    // untimed settings (Apply, Modify) take the place of timed settings
    // still waiting, which the caller has folded into them already (their
    // lines are logged then).
    std::optional<std::uint64_t> Apply(const LinkSettings& settings, const CString& line,
                                       std::optional<LinkTime> at = std::nullopt);
    // The link down in one way or both: every datagram that way dropped
    // (counted "outage") for `length` from the time it applies, or until
    // Up. Logs `line` as it applies.
    std::optional<std::uint64_t> Down(LinkDirection way, std::optional<std::chrono::nanoseconds> length,
                                      const CString& line, std::optional<LinkTime> at = std::nullopt);
    std::optional<std::uint64_t> Up(const CString& line, std::optional<LinkTime> at = std::nullopt);
    // Waits until the engine's thread has taken the change with this ticket
    // (true): applied it, or, a timed one, put it to wait for its time. False
    // when the patience is spent or the engine stops. Never holds the engine.
    bool WaitApplied(std::uint64_t ticket, std::chrono::steady_clock::duration patience);
    // The settings as last asked for: applied, or about to be.
    LinkSettings Settings() const;
    // Where to say, once, that datagrams fell more than a second behind one
    // another under a serial delay. Before Start.
    void SetNoticeLog(LogHost& notices) { m_notices = &notices; }
    LinkStats Stats() const { return m_report.Snapshot(); }
    // Ends the thread at once, whatever is waiting; waiting datagrams are
    // not sent.
    void Stop();
    // Tells observer about every datagram from Start on (null: nobody),
    // with the engine clock's times. Before Start.
    void Observe(DatagramObserver* observer) { m_report.Observe(observer, m_clock); }

    // Changes waiting for the engine's thread, at most.
    static constexpr std::size_t kMostWaitingChanges = 256;
    // The largest datagram UDP over IPv4 carries; all of them pass.
    static constexpr int kLargestDatagram = 65507;
    // What one waiting datagram costs beside its block: its place in the
    // queue, twice (the queue's room grows by doubling).
    static constexpr std::size_t kEntryCost = 2 * sizeof(WaitingDatagram);
    // Datagrams a turn sends, or moves when a shorter delay reschedules
    // them, per direction, before the sockets are served again.
    static constexpr std::size_t kSendBudget = 1024;
    static constexpr std::size_t kRescheduleSlice = 1024;
    // Once nothing waits after a flood that cost more than this, the
    // memory goes back to the system.
    static constexpr std::size_t kReleaseAfterCost = std::size_t{16} << 20;

private:
    bool OpenListening();
    bool OpenTowardsServer();
    static unsigned ThreadProc(void* self);
    void Run();

    // Where a datagram goes: with sessions, its session; without, an address.
    struct Route {
        Direction direction = Direction::ToServer;
        std::uint64_t session = 0;
        IpEndpoint target;
        IpEndpoint client;      // whose it is
        std::uint16_t via = 0;  // to a client: the listening socket it came in on
    };

    // Taking datagrams in and deciding their fate.
    void ReceiveFrom(std::uint64_t key);
    DatagramSocket* SocketOf(std::uint64_t key);
    void OnListenDatagram(const DatagramSocket::Received& datagram, std::uint16_t via);
    void OnServerSocketDatagram(const DatagramSocket::Received& datagram);
    void OnSessionDatagram(Session& session, const DatagramSocket::Received& datagram);
    // The dialog's way: a reply goes to whoever sent last.
    void OnReply(const DatagramSocket::Received& datagram, const IpEndpoint& relayEnd);
    // A datagram sent by one of the relay's own sockets (spoofed, or by a
    // misconfigured program): relayed through an echoing server it would loop.
    bool FromOwnSocket(const IpEndpoint& from);
    // hop: who sent it and the relay's end it came to.
    void Dispatch(const Route& route, Hop hop);
    Hop Arrival(const DatagramSocket::Received& datagram, const IpEndpoint& relayEnd) const;
    static void Corrupt(const Hop& hop, const Fate& fate);

    // Waiting and leaving.
    void Queue(const Route& route, const Fate& fate, const Hop& hop, bool copy);
    bool NothingDue(Direction direction, LinkTime now) const;
    void SendDue();
    void SendDue(Direction direction);
    // What the waiting datagrams cost now, and how many wait.
    std::size_t WaitingCost() const;
    std::size_t WaitingCount() const;
    // Gives the memory of a flood back once it has left.
    void ReleaseAfterFlood();
    // Puts a datagram among those leaving now; the bytes must stay put
    // until m_leaving is flushed.
    void Send(const Route& route, const Fate& fate, const unsigned char* bytes, int length, bool copy,
              const Hop& passage);
    std::optional<LinkTime> NextDeadline() const;
    SocketWait::Deadline ToSteady(std::optional<LinkTime> deadline) const;

    // Settings while it runs.
    struct Change {
        enum class Kind { Settings, Down, Up };
        Kind kind = Kind::Settings;
        LinkSettings settings;  // Settings
        LinkDirection way = LinkDirection::Both;  // Down
        std::optional<std::chrono::nanoseconds> length;  // Down; nothing: until Up
        CString line;
        std::uint64_t ticket = 0;
        std::optional<LinkTime> at;  // a timed change: not before then
    };
    std::optional<std::uint64_t> Push(Change change);
    void KeepTimeAsNeeded();
    void ApplyChanges();
    // The timed changes whose time has come by `now`, in order.
    void ApplyDueChanges(LinkTime now);
    bool TimedChangeDue(LinkTime now) const { return !m_timed.empty() && *m_timed.front().at <= now; }
    void ApplyChange(const Change& change, LinkTime now);
    void ApplySettings(const LinkSettings& settings);
    bool Outage(Direction direction, LinkTime now);
    void UpdateGauges();

    LinkOptions m_options;
    LogHost& m_settingsLog;
    const LinkClock& m_clock;
    std::uint64_t m_seed;
    IpEndpoint m_server;

    std::vector<std::unique_ptr<DatagramSocket>> m_listen;
    std::vector<IpEndpoint> m_listenAt;  // where each is bound
    DatagramSocket m_ownServerSocket;  // without sessions, when no listening socket reaches the server
    DatagramSocket* m_towardsServer = nullptr;
    IpEndpoint m_towardsServerAt;
    int m_lastError = 0;
    IpEndpoint m_failedEndpoint;
    StopSignal m_wake;  // Stop and every change raise it
    SocketWait m_wait{m_wake};
    std::atomic<bool> m_stopping{false};
    // Changes on their way to the engine's thread, and how far it has come.
    mutable std::mutex m_changeMutex;
    std::condition_variable m_changeApplied;
    std::vector<Change> m_changes;
    LinkSettings m_requested;
    std::uint64_t m_lastTicket = 0;
    std::uint64_t m_appliedTicket = 0;
    bool m_ended = false;  // no change will apply any more
    LogHost* m_notices = nullptr;
    std::unique_ptr<CWinThread> m_thread;
    // Start waits until the thread has logged the settings lines.
    std::mutex m_startMutex;
    std::condition_variable m_announced;
    bool m_settingsLogged = false;

    // Owned by the engine's thread once it runs.
    LinkSettings m_settings;
    PerDirection<std::optional<Impairment>> m_impairments;
    PerDirection<std::optional<LinkTime>> m_outageEnd;  // LinkTime::max(): until Up
    std::vector<Change> m_applying;
    std::deque<Change> m_timed;  // waiting for their time, in the order given
    bool m_toldFellBehind = false;
    bool m_raised = false;  // the thread's priority, by KeepTimeAsNeeded
    LinkReport m_report;
    PerDirection<DepartureQueue> m_queues;  // each way its own: a backlog one way holds up nothing the other
    PerDirection<LinkTime> m_latestQueued{};   // no waiting datagram leaves later
    PerDirection<LinkTime> m_latestArrival{};  // of those queued
    std::size_t m_mostCostSinceRelease = 0;
    ThisMachine m_thisMachine;
    DatagramStore m_store;
    DepartureBatch m_leaving{m_report};
    SessionKeeper m_sessions;
    std::optional<IpEndpoint> m_lastClient;
    std::uint16_t m_lastClientVia = 0;
    // Where received datagrams land, a batch at a time (pages the system
    // gives only as they are used).
    std::unique_ptr<unsigned char[]> m_receiveBuffers;
    std::vector<DatagramSocket::Received> m_received;
    int m_receivedInUse = 0;  // slots holding datagrams that may still be leaving
    std::vector<DatagramStore::Block> m_leftBlocks;  // given back once m_leaving is flushed
    std::vector<std::uint64_t> m_ready;
};
