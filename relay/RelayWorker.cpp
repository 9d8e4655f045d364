#include "relay/RelayWorker.h"

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "relay/LogHost.h"
#include "relay/LogLines.h"
#include "relay/RelayEvents.h"
#include "relay/RelaySockets.h"
#include "relay/RelayState.h"
#include "framework/core/OwnEndpoint.h"
#include "framework/core/SocketAddress.h"
#include "framework/core/SocketWait.h"
#include "framework/core/ThreadTiming.h"

namespace {

RelayStats& Counts() { return g_relayWorker.Counters(); }

bool IsFromServer()
{
    // Exact text and all 32 bits of the port: a server port stored outside
    // 0..65535 never matches.
    return g_strFromAddr == g_relaySocket.m_strServerAddr &&
           g_nFromPort == static_cast<std::uint32_t>(g_relaySocket.m_nServerPort);
}

// The sockets one run of the worker serves: the relay socket alone for the
// dialog; for dulvet, then its further ones (RelaySockets).
class ServedSockets {
public:
    explicit ServedSockets(const RelaySockets* more)
    {
        const unsigned ownPort = g_relaySocket.GetLocalPort();
        const IpEndpoint relayAt =
            EndpointOfText(g_relaySocket.m_strLocalAddr, ownPort).value_or(IpEndpoint().WithPort(ownPort));
        m_served.push_back({&g_relaySocket, OwnEndpoint(relayAt, g_relaySocket.TakesBothFamilies()), ownPort, false});
        if (!more)
            return;
        for (const RelaySockets::Extra& extra : more->Extras()) {
            // The one towards the server is bound to every address of its family.
            const IpEndpoint any = extra.at.IsV4() ? IpEndpoint() : IpEndpoint::V6({}, 0);
            const IpEndpoint bound = extra.towardsServerOnly ? any.WithPort(extra.at.Port()) : extra.at;
            m_served.push_back({extra.socket.get(), OwnEndpoint(bound, extra.socket->TakesBothFamilies()),
                                extra.at.Port(), extra.towardsServerOnly});
        }
        m_towardsServer = more->TowardsServer();
    }

    std::size_t Count() const { return m_served.size(); }
    CAsyncSocket& At(std::size_t index) const { return *m_served[index].socket; }
    bool TowardsServerOnly(std::size_t index) const { return m_served[index].towardsServerOnly; }
    CAsyncSocket& TowardsServer() const { return At(m_towardsServer); }
    std::size_t TowardsServerIndex() const { return m_towardsServer; }

    // A datagram "from" one of the relay's own sockets (not as the server:
    // a server at the relay's own address only echoes, which harms
    // nobody). Relayed, it would come back to the relay from itself, and so
    // on without end.
    bool IsFromOwnSocket()
    {
        std::optional<IpEndpoint> from;
        for (Served& served : m_served) {
            if (g_nFromPort != served.port)
                continue;
            if (!from)
                from = EndpointOfText(g_strFromAddr, g_nFromPort);
            if (from && served.own.Is(*from))
                return true;
        }
        return false;
    }

private:
    struct Served {
        CAsyncSocket* socket;
        OwnEndpoint own;
        unsigned port;
        bool towardsServerOnly;
    };
    std::vector<Served> m_served;
    std::size_t m_towardsServer = 0;
};

// A client the allow list lets in (always, when it is empty).
bool IsAllowed()
{
    const AllowList& allowed = g_relaySocket.m_allowed;
    if (allowed.LetsEveryoneIn())
        return true;
    const std::wstring_view text = g_strFromAddr.View();
    if (const auto v4 = ParseIpv4Literal(text))
        return allowed.Allows(IpEndpoint::V4(*v4, 0));
    const auto v6 = ParseIpv6Literal(text);
    return v6 && allowed.Allows(IpEndpoint::V6(*v6, 0));
}

bool SendToServer(const ServedSockets& sockets)
{
    if (sockets.TowardsServer().SendTo(g_relaySocket.m_buffer, g_nRecvLen,
                                       static_cast<unsigned>(g_relaySocket.m_nServerPort),
                                       g_relaySocket.m_strServerAddr) < 0) {
        RelayStats::Bump(Counts().sendFailed);
        return false;
    }
    RelayStats::Bump(Counts().toServer);
    return true;
}

// Through the socket the last client sent to.
void SendToClient(CAsyncSocket& socket, RelayEvents* events, std::size_t via)
{
    // Before any client has sent there is nobody to reply to.
    if (g_relaySocket.m_strClientAddr.IsEmpty()) {
        RelayStats::Bump(Counts().lostReplies);
        if (events)
            events->ReplyLost();
        return;
    }
    const bool sent = socket.SendTo(g_relaySocket.m_buffer, g_nRecvLen,
                                    static_cast<unsigned>(g_relaySocket.m_nClientPort),
                                    g_relaySocket.m_strClientAddr) >= 0;
    if (sent)
        RelayStats::Bump(Counts().toClient);
    else
        RelayStats::Bump(Counts().sendFailed);
    if (events)
        events->ReplyForwarded(sent, via);
}

// A long pause looks at the delay again this often.
constexpr std::chrono::milliseconds kLongPauseSlice{250};

// Waits until the delay, counted from the start of the wait, has passed,
// and never less. A long wait reads the delay again every slice, so that
// Modify to a shorter one (after a mistyped day's worth, say) frees the
// waiting datagram instead of holding the relay to the old value. Returns
// false when a stop cut the wait short.
bool WaitOutDelay(const StopSignal& stop)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    for (;;) {
        const auto end = start + std::chrono::milliseconds(g_relaySocket.m_nDelay.load());
        const auto now = Clock::now();
        if (now >= end)
            return true;
        if (end - now <= 2 * kLongPauseSlice)
            return stop.PauseUntil(end);
        if (!stop.PauseUntil(now + kLongPauseSlice))
            return false;
    }
}

// What the pause said: whether a "Delay D ms." line was logged, and D.
struct PauseLine {
    bool logged = false;
    std::int32_t delayMs = 0;
};

// The configured pause before a client datagram, then its log line. A
// negative delay gives no pause but is still reported. Returns false when a
// stop cut the pause short.
bool PauseBeforeClientDatagram(LogHost& log, const StopSignal& stop, PauseLine& line)
{
    const std::int32_t delay = g_relaySocket.m_nDelay.load();
    g_relayWorker.KeepTimeFor(delay);
    if (delay == 0)
        return true;
    if (delay > 0 && !WaitOutDelay(stop))
        return false;
    line.delayMs = g_relaySocket.m_nDelay.load();
    line.logged = true;
    log.AppendLog(CString::Formatted(kDelayLine, line.delayMs));
    return true;
}

// Forwards the datagram or drops it by the drop period.
void ForwardOrDrop(LogHost& log, std::int32_t missCount, const PauseLine& pause, const ServedSockets& sockets,
                   RelayEvents* events)
{
    if (g_nCount < missCount) {
        const bool sent = SendToServer(sockets);
        log.AppendLog(CString::Formatted(kCountLine, g_nCount));
        if (events)
            events->ClientForwarded(pause.logged, pause.delayMs, g_nCount, sent, sockets.TowardsServerIndex());
        ++g_nCount;
    } else {
        g_nCount = 1;
        RelayStats::Bump(Counts().dropped);
        log.AppendLog(kMissLine);
        if (events)
            events->ClientDropped();
    }
}

bool HandleClientDatagram(LogHost& log, const StopSignal& stop, const ServedSockets& sockets, RelayEvents* events)
{
    g_relaySocket.m_strClientAddr.Assign(g_strFromAddr.View());
    g_relaySocket.m_nClientPort = static_cast<std::int32_t>(g_nFromPort);
    PauseLine pause;
    if (!PauseBeforeClientDatagram(log, stop, pause))
        return false;
    // Read once, after the pause, so that a Modify during the pause applies
    // to this datagram; a loss of 0 then forwards it uncounted.
    const std::int32_t missCount = g_relaySocket.m_nMissCount.load();
    if (missCount != 0) {
        ForwardOrDrop(log, missCount, pause, sockets, events);
    } else {
        const bool sent = SendToServer(sockets);
        if (events)
            events->ClientForwarded(pause.logged, pause.delayMs, 0, sent, sockets.TowardsServerIndex());
    }
    return true;
}

// Whether client datagrams have queued behind one another for over a
// second: the worker has taken one after another, each waiting for it in
// the socket, since the first of them. An empty socket ends the stretch.
class QueueWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kTooLong{1};

    void SocketEmpty() { m_busy = false; }
    // A client datagram taken with this delay; true the first time the
    // stretch has lasted too long.
    bool ClientTaken(std::int32_t delayMs)
    {
        if (delayMs <= 0 || m_told)
            return false;
        const auto now = Clock::now();
        if (!m_busy) {
            m_busy = true;
            m_busySince = now;
            return false;
        }
        m_told = now - m_busySince > kTooLong;
        return m_told;
    }

private:
    bool m_busy = false;
    Clock::time_point m_busySince;
    bool m_told = false;
};

// A wait for a datagram that fails (a broken handle, the system short of
// memory) is tried again after this long, never at once.
constexpr int kRetryFailedWaitMilliseconds = 50;

// Takes the next datagram from the sockets in turn, sleeping while all of
// them are empty. With one socket (the dialog's) it receives, and waits
// whenever that takes nothing, as the dialog's worker always has.
class Receiver {
public:
    Receiver(const ServedSockets& sockets, const StopSignal& stop) : m_sockets(sockets), m_stop(stop)
    {
        if (sockets.Count() == 1)
            return;
        m_wait = std::make_unique<SocketWait>(stop);
        for (std::size_t i = 0; i < sockets.Count(); ++i)
            m_wait->Add(sockets.At(i), i);
    }
    ~Receiver()
    {
        if (m_wait)
            for (std::size_t i = 0; i < m_sockets.Count(); ++i)
                m_wait->Remove(m_sockets.At(i));
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    // A datagram in the relay state, or false once nothing was taken; `at`
    // says which socket it came to.
    bool Take(std::size_t& at, QueueWatch& queue)
    {
        at = m_next;
        m_next = (m_next + 1) % m_sockets.Count();
        g_nRecvLen = m_sockets.At(at).ReceiveFrom(g_relaySocket.m_buffer, kRelayBufferSize, g_strFromAddr,
                                                  g_nFromPort, 0);
        if (g_nRecvLen > 0) {
            m_emptyInARow = 0;
            m_allEmpty = true;
            return true;
        }
        if (g_nRecvLen == CAsyncSocket::kDatagramTooLong) {
            RelayStats::Bump(Counts().tooLong);
            m_allEmpty = false;
        }
        if (++m_emptyInARow < m_sockets.Count())
            return false;
        if (m_allEmpty)
            queue.SocketEmpty();
        m_emptyInARow = 0;
        m_allEmpty = true;
        // Nothing taken: sleep until a datagram arrives instead of spinning.
        if (!Wait() && !m_stop.IsRaised())
            m_stop.Pause(kRetryFailedWaitMilliseconds);
        return false;
    }

private:
    bool Wait()
    {
        if (!m_wait)
            return g_relaySocket.WaitForDatagram(m_stop);
        std::vector<std::uint64_t> ready;
        return m_wait->IsUsable() && m_wait->Wait(std::nullopt, ready) == SocketWait::Woken::Sockets;
    }

    const ServedSockets& m_sockets;
    const StopSignal& m_stop;
    std::unique_ptr<SocketWait> m_wait;  // none for the one socket
    std::size_t m_next = 0;
    std::size_t m_emptyInARow = 0;
    bool m_allEmpty = true;  // none of the row was too long
};

}  // namespace

unsigned RelayThreadProc(void* /*param*/)
{
    LogHost& log = g_relayWorker.Host();
    const StopSignal& stop = g_relayWorker.StopRequest();
    RelayEvents* events = g_relayWorker.Events();  // none for the dialog
    ServedSockets sockets(g_relayWorker.MoreSockets());  // the relay socket alone for the dialog
    Receiver receiver(sockets, stop);
    std::size_t clientVia = 0;  // the socket the last client sent to
    LogHost* notices = g_relayWorker.Notices();  // none for the dialog
    QueueWatch queue;
    while (!stop.IsRaised()) {
        std::size_t at = 0;
        if (!receiver.Take(at, queue))
            continue;
        const bool fromServer = IsFromServer();
        if (!fromServer && sockets.TowardsServerOnly(at)) {
            RelayStats::Bump(Counts().notFromServer);
            continue;
        }
        if (!fromServer && sockets.IsFromOwnSocket()) {
            RelayStats::Bump(Counts().ownAddress);
            continue;
        }
        if (!fromServer && !IsAllowed()) {
            RelayStats::Bump(Counts().notAllowed);
            continue;
        }
        if (events)
            events->Received(at);
        RelayStats::Bump(fromServer ? Counts().fromServer : Counts().fromClients);
        if (!fromServer && notices && queue.ClientTaken(g_relaySocket.m_nDelay.load()))
            notices->AppendLog(kSerialDelayNotice);
        if (fromServer) {
            SendToClient(sockets.At(clientVia), events, clientVia);
        } else {
            clientVia = at;
            if (!HandleClientDatagram(log, stop, sockets, events))
                break;
        }
        log.ScrollLogToEnd();
    }
    return 0;
}

// The relay's own address and port (the port the system chose when it was
// 0), or the server's, from the socket's settings.
PacketEndpoint RelayWorker::SocketEndpoint(bool relay)
{
    const CString& address = relay ? g_relaySocket.m_strLocalAddr : g_relaySocket.m_strServerAddr;
    const std::int32_t port = relay ? static_cast<std::int32_t>(g_relaySocket.GetLocalPort()) : g_relaySocket.m_nServerPort;
    return PacketEndpoint::From(EndpointOfText(address, static_cast<unsigned>(port)).value_or(IpEndpoint()));
}

// Where each served socket is, in the worker's order.
std::vector<PacketEndpoint> RelayWorker::SocketEndpoints() const
{
    std::vector<PacketEndpoint> endpoints{SocketEndpoint(true)};
    if (m_more)
        for (const RelaySockets::Extra& extra : m_more->Extras())
            endpoints.push_back(PacketEndpoint::From(extra.at));
    return endpoints;
}

std::unique_ptr<StopSignal> MakeSystemStopSignal() { return std::make_unique<StopSignal>(); }

bool RelayWorker::Launch(LogHost& host, const std::function<void()>& announce)
{
    if (m_thread)
        return false;
    // Checked where they are made: a stop signal without its event could
    // never wake the worker, and a thread may not be had at all.
    std::unique_ptr<StopSignal> stop = m_resources.makeStopSignal();
    if (!stop || !stop->IsUsable())
        return false;
    m_stop = std::move(stop);
    m_host = &host;
    m_counters.Reset();
    m_events.reset();
    if (m_observer)
        m_events = std::make_unique<RelayEvents>(*m_observer, SocketEndpoints(), SocketEndpoint(false));
    m_keepingTime = false;
    const std::lock_guard startLine(m_startLine);
    m_thread = m_resources.beginThread(&RelayWorker::ThreadEntry, this);
    if (!m_thread) {
        m_stop.reset();
        m_host = nullptr;
        return false;
    }
    if (announce)
        announce();
    return true;
}

unsigned RelayWorker::ThreadEntry(void* worker)
{
    { const std::lock_guard started(static_cast<RelayWorker*>(worker)->m_startLine); }
    // The worker keeps its normal priority, and its turns as they are,
    // unless it was told to keep time while a delay is set.
    ThreadTiming::ForThisThread(ThreadTiming::Priority::Keep);
    static_cast<RelayWorker*>(worker)->KeepTimeFor(g_relaySocket.m_nDelay.load());
    g_relaySocket.SetBufferSizes(kRelaySocketBufferBytes);
    if (const RelaySockets* more = static_cast<RelayWorker*>(worker)->m_more)
        for (const RelaySockets::Extra& extra : more->Extras())
            extra.socket->SetBufferSizes(kRelaySocketBufferBytes);
    return RelayThreadProc(nullptr);
}

void RelayWorker::KeepTimeFor(std::int32_t delayMs)
{
    const bool timed = delayMs > 0;
    if (m_pausePriority == ThreadTiming::Priority::Keep || timed == m_keepingTime)
        return;
    m_keepingTime = timed;
    if (timed)
        ThreadTiming::ForThisThread(m_pausePriority);
    else
        ThreadTiming::Lower(m_pausePriority);
}

void RelayWorker::Stop()
{
    if (!m_thread)
        return;
    m_stop->Raise();
    m_thread->Join();
    m_thread.reset();
    m_stop.reset();
    m_host = nullptr;
    m_events.reset();
}

RelayWorker::Resources RelayWorker::UseResources(const Resources& resources)
{
    return std::exchange(m_resources, resources);
}
