#include "link/LinkEngine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <random>

#include "framework/core/Ipv4Text.h"
#include "link/LinkLines.h"
#include "relay/LogHost.h"
#include "relay/LogLines.h"
#include "relay/MissCount.h"
#include "relay/SettingsLines.h"
#include "framework/core/SocketTypes.h"
#include "framework/core/ThreadTiming.h"

namespace {

#ifdef _WIN32
constexpr int kInvalidArgument = 10022;  // WSAEINVAL
#else
constexpr int kInvalidArgument = EINVAL;
#endif

constexpr std::uint64_t kListenKey = 0;  // session ids start at 1
// Datagrams taken from one socket before the others get their turn, and
// at most in one call.
constexpr int kReceiveBudget = 64;
constexpr int kReceiveBatch = 32;
constexpr int kSlotBytes = LinkEngine::kLargestDatagram + 1;
// Unread replies counted when a session closes; the rest go uncounted.
constexpr int kMostCountedAtClose = 4096;
constexpr int kListenBufferBytes = 4 << 20;
constexpr int kSessionBufferBytes = 1 << 20;

std::uint64_t ChooseSeed()
{
    std::random_device device;
    const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return (std::uint64_t{device()} << 32 ^ device()) ^ now;
}

bool Impairs(LinkDirection option, int direction)
{
    return option == LinkDirection::Both || (option == LinkDirection::ToServer) == (direction == kToServer);
}

CString EndpointText(const Ipv4Endpoint& endpoint)
{
    return FormatIpv4(endpoint.address) + CString::Formatted(L":%u", unsigned{endpoint.port});
}

}  // namespace

LinkEngine::LinkEngine(const LinkOptions& options, LogHost& settingsLog, LogHost& datagramLog,
                       const LinkClock& clock)
    : m_options(options),
      m_settingsLog(settingsLog),
      m_log(datagramLog),
      m_clock(clock),
      m_seed(options.seed ? *options.seed : ChooseSeed()),
      m_sessionIdle(std::chrono::nanoseconds(std::llround(options.sessionIdleSeconds * 1e9))),
      m_receiveBuffers(std::make_unique_for_overwrite<unsigned char[]>(std::size_t{kReceiveBatch} * kSlotBytes)),
      m_received(kReceiveBatch),
      m_discard(std::make_unique_for_overwrite<unsigned char[]>(kSlotBytes))
{
    for (int i = 0; i < kReceiveBatch; ++i) {
        m_received[i].bytes = &m_receiveBuffers[static_cast<std::size_t>(i) * kSlotBytes];
        m_received[i].capacity = kSlotBytes;
    }
    const ImpairmentSettings settings = ImpairmentSettings::From(options);
    for (int direction : {kToServer, kToClient})
        if (Impairs(options.direction, direction))
            m_impairments[direction].emplace(settings, m_seed, direction);
    m_missCount = MissCountFromLossRate(options.lossPercent);
    m_delayMs = options.delayMs;
    m_appliedDelayMs = options.delayMs;
}

LinkEngine::~LinkEngine() { Stop(); }

bool LinkEngine::Open()
{
    const auto server = ParseIpv4(m_options.serverAddress.View());
    if (!server || !m_wait.IsUsable()) {
        m_lastError = kInvalidArgument;
        return false;
    }
    m_server = Ipv4Endpoint{*server, static_cast<std::uint16_t>(m_options.serverPort & 0xFFFF)};
    if (!m_listen.Create(m_options.listenPort, SOCK_DGRAM, FD_READ, m_options.listenAddress)) {
        m_lastError = m_listen.GetLastError();
        return false;
    }
    m_listen.SetBufferSizes(kListenBufferBytes);
    m_wait.Add(m_listen, kListenKey);
    return true;
}

bool LinkEngine::Start()
{
    if (m_thread || !m_listen.IsOpen())
        return false;
    m_stopping = false;
    m_wake.Reset();
    std::unique_lock lock(m_startMutex);
    m_settingsLogged = false;
    m_thread = AfxBeginThread(&LinkEngine::ThreadProc, this);
    if (!m_thread)
        return false;
    m_announced.wait(lock, [this] { return m_settingsLogged; });
    return true;
}

void LinkEngine::Modify(double lossPercent, std::int32_t delayMs)
{
    const std::int32_t missCount = MissCountFromLossRate(lossPercent);
    m_missCount = missCount;
    m_delayMs = delayMs;
    m_settingsLog.AppendLog(SettingsLines(missCount, delayMs));
    m_settingsLog.ScrollLogToEnd();
    m_wake.Raise();
}

void LinkEngine::Stop()
{
    if (!m_thread)
        return;
    m_stopping = true;
    m_wake.Raise();
    m_thread->Join();
    m_thread.reset();
}

unsigned LinkEngine::ThreadProc(void* self)
{
    static_cast<LinkEngine*>(self)->Run();
    return 0;
}

void LinkEngine::Run()
{
    KeepTimeAsNeeded();
    {
        // The settings lines come first, once the thread exists: no
        // datagram line before them, and none at all if it never ran.
        std::lock_guard lock(m_startMutex);
        m_settingsLog.AppendLog(SettingsLines(m_missCount.load(), m_delayMs.load()));
        m_settingsLogged = true;
    }
    m_announced.notify_one();
    while (!m_stopping.load()) {
        const auto woken = m_wait.Wait(ToSteady(NextDeadline()), m_ready);
        if (woken == SocketWait::Woken::Signal) {
            m_wake.Reset();
            if (m_stopping.load())
                break;
            ApplyModify();
        }
        for (const std::uint64_t key : m_ready)
            ReceiveFrom(key);
        Flush();
        m_receivedInUse = 0;
        SendDue();
        ExpireSessions();
        UpdateGauges();
        if (m_logged) {
            m_log.ScrollLogToEnd();
            m_logged = false;
        }
    }
}

std::optional<LinkTime> LinkEngine::NextDeadline() const
{
    std::optional<LinkTime> deadline;
    if (!m_queue.Empty())
        deadline = m_queue.Next().departure;
    if (const auto expiry = m_sessions.NextExpiry(m_sessionIdle))
        deadline = deadline ? std::min(*deadline, *expiry) : *expiry;
    return deadline;
}

SocketWait::Deadline LinkEngine::ToSteady(std::optional<LinkTime> deadline) const
{
    if (!deadline)
        return std::nullopt;
    // The clock may be a fake: keep the distance, not the reading.
    return std::chrono::steady_clock::now() + (*deadline - m_clock.Now());
}

void LinkEngine::ReceiveFrom(std::uint64_t key)
{
    Session* session = nullptr;
    if (key != kListenKey && !(session = m_sessions.FindId(key)))
        return;  // closed meanwhile
    const std::uint64_t sessionId = session ? session->id : kListenKey;
    for (int taken = 0; taken < kReceiveBudget;) {
        // Datagrams from several sockets share the slots, so that those
        // leaving through one socket go together; the slots are free again
        // once those leaving have gone.
        if (m_receivedInUse == kReceiveBatch) {
            Flush();
            m_receivedInUse = 0;
        }
        // The session may have closed while its datagrams were handled.
        if (sessionId != kListenKey && !(session = m_sessions.FindId(sessionId)))
            return;
        CAsyncSocket& socket = session ? session->socket : m_listen;
        const int room = kReceiveBatch - m_receivedInUse;
        const int count = socket.ReceiveDatagrams(&m_received[static_cast<std::size_t>(m_receivedInUse)], room);
        for (int i = m_receivedInUse; i < m_receivedInUse + count; ++i) {
            const CAsyncSocket::DatagramSlot& datagram = m_received[static_cast<std::size_t>(i)];
            if (datagram.length < 0 || datagram.length > kLargestDatagram)
                continue;
            if (session)
                OnSessionDatagram(*session, datagram);
            else
                OnListenDatagram(datagram);
            if (sessionId != kListenKey && !(session = m_sessions.FindId(sessionId)))
                break;
        }
        m_receivedInUse += count;
        if (count < room)
            return;  // none left
        taken += count;
    }
}

void LinkEngine::OnListenDatagram(const CAsyncSocket::DatagramSlot& datagram)
{
    const Ipv4Endpoint& from = datagram.peer;
    Route route;
    if (m_options.clients == ClientsMode::Each) {
        const LinkTime now = m_clock.Now();
        Session* session = m_sessions.FindClient(from);
        if (!session && !(session = OpenSession(from, now)))
            return;
        m_sessions.Touch(*session, now);
        route.session = session->id;
    } else if (from == m_server) {
        // The dialog's way: a reply goes to whoever sent last.
        route.direction = kToClient;
        if (!m_lastClient) {
            m_counters.Add(EngineCounter::NoClientDrops);
            Log(kNoClientLine);
            return;
        }
        route.target = *m_lastClient;
    } else {
        m_lastClient = from;
        route.target = m_server;
    }
    Dispatch(route, datagram.bytes, datagram.length);
}

void LinkEngine::OnSessionDatagram(Session& session, const CAsyncSocket::DatagramSlot& datagram)
{
    if (!(datagram.peer == m_server)) {
        m_counters.Add(EngineCounter::StrayDrops);
        Log(kStrayLine);
        return;
    }
    m_sessions.Touch(session, m_clock.Now());
    Route route;
    route.direction = kToClient;
    route.session = session.id;
    Dispatch(route, datagram.bytes, datagram.length);
}

void LinkEngine::Dispatch(const Route& route, const unsigned char* bytes, int length)
{
    m_counters.Add(route.direction, DirectionCounter::Received);
    const LinkTime now = m_clock.Now();
    Fate fate;
    fate.departure = now;
    if (auto& impairment = m_impairments[route.direction]) {
        impairment->SetLossAndDelay(m_missCount.load(std::memory_order_relaxed),
                                    m_delayMs.load(std::memory_order_relaxed));
        fate = impairment->Decide(now, static_cast<std::size_t>(length));
        if (fate.Dropped()) {
            LogDrop(route.direction, fate.drop);
            return;
        }
    }
    if (fate.departure <= now && NothingDue(now)) {
        Send(route, fate, bytes, length, false);
        if (fate.duplicated)
            Send(route, fate, bytes, length, true);
        return;
    }
    const std::size_t copies = fate.duplicated ? 2 : 1;
    if (m_store.BytesInUse() + copies * std::max<std::size_t>(length, DatagramStore::kSmallest) > kMostWaitingBytes) {
        m_counters.Add(route.direction, DirectionCounter::NoRoomDrops);
        Log(kNoRoomLine);
        return;
    }
    Queue(route, fate, now, bytes, length, false);
    if (fate.duplicated)
        Queue(route, fate, now, bytes, length, true);
}

void LinkEngine::Queue(const Route& route, const Fate& fate, LinkTime arrival, const unsigned char* bytes, int length,
                       bool copy)
{
    WaitingDatagram waiting;
    waiting.departure = fate.departure;
    waiting.arrival = arrival;
    waiting.block = m_store.Take(static_cast<std::size_t>(length));
    std::copy_n(bytes, length, waiting.block.bytes.get());
    waiting.length = static_cast<std::uint32_t>(length);
    waiting.direction = route.direction;
    waiting.session = route.session;
    waiting.target = route.target;
    waiting.fate = fate;
    waiting.copy = copy;
    if (Session* session = route.session ? m_sessions.FindId(route.session) : nullptr)
        m_sessions.AddWaiting(*session);
    m_queue.Push(std::move(waiting));
}

bool LinkEngine::NothingDue(LinkTime now) const { return m_queue.Empty() || m_queue.Next().departure > now; }

void LinkEngine::SendDue()
{
    LinkTime now = m_clock.Now();
    while (!NothingDue(now)) {
        WaitingDatagram next = m_queue.Pop();
        const Route route{next.direction, next.session, next.target};
        if (Session* session = next.session ? m_sessions.FindId(next.session) : nullptr)
            m_sessions.RemoveWaiting(*session, now);
        Send(route, next.fate, next.block.bytes.get(), static_cast<int>(next.length), next.copy);
        m_leaving.push_back(std::move(next.block));
        if (m_queue.Empty() || m_queue.Next().departure > now)
            now = m_clock.Now();  // time has passed: more may be due
    }
    Flush();
    for (DatagramStore::Block& block : m_leaving)
        m_store.Give(std::move(block));
    m_leaving.clear();
}

void LinkEngine::Send(const Route& route, const Fate& fate, const unsigned char* bytes, int length, bool copy)
{
    CAsyncSocket* socket = &m_listen;
    Ipv4Endpoint to = route.direction == kToServer ? m_server : route.target;
    if (route.session) {
        Session* session = m_sessions.FindId(route.session);
        if (!session)
            socket = nullptr;  // it has closed: Flush counts and logs the drop
        else if (route.direction == kToServer)
            socket = &session->socket;
        else
            to = session->client;
    }
    m_departures.push_back(Departure{socket, route.direction, fate, copy});
    CAsyncSocket::DatagramSlot slot;
    slot.bytes = const_cast<unsigned char*>(bytes);  // only read: it is sent
    slot.length = length;
    slot.peer = to;
    m_departureSlots.push_back(slot);
}

void LinkEngine::Flush()
{
    for (std::size_t start = 0; start < m_departures.size();) {
        // A run through one socket goes in one call.
        CAsyncSocket* socket = m_departures[start].socket;
        std::size_t end = start;
        while (end < m_departures.size() && m_departures[end].socket == socket)
            ++end;
        if (socket)
            socket->SendDatagrams(&m_departureSlots[start], static_cast<int>(end - start));
        for (std::size_t i = start; i < end; ++i) {
            const Departure& departure = m_departures[i];
            if (!socket) {
                m_counters.Add(EngineCounter::ClosedSessionDrops);
                Log(kClosedSessionLine);
                continue;
            }
            m_counters.Add(departure.direction,
                           m_departureSlots[i].sent ? DirectionCounter::Sent : DirectionCounter::SendFailures);
            if (departure.copy)
                m_counters.Add(departure.direction, DirectionCounter::Duplicated);
            else if (departure.fate.reordered)
                m_counters.Add(departure.direction, DirectionCounter::Reordered);
            LogDeparture(departure.fate, departure.copy);
        }
        start = end;
    }
    m_departures.clear();
    m_departureSlots.clear();
}

void LinkEngine::LogDrop(int direction, DropCause cause)
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

void LinkEngine::LogDeparture(const Fate& fate, bool copy)
{
    if (copy) {
        Log(kDuplicatedLine);
        return;
    }
    if (fate.reordered)
        Log(kReorderedLine);
    if (fate.delayLine)
        Log(CString::Formatted(kDelayLine, fate.delayMs));
    if (fate.count > 0)
        Log(CString::Formatted(kCountLine, fate.count));
}

void LinkEngine::Log(const CString& line)
{
    m_log.AppendLog(line);
    m_logged = true;
}

// Departures on time beside a busy program: while datagrams wait for
// their time, a raised priority where the user may have it, else at least
// prompt wake-ups. Without delay, jitter or rate every datagram leaves at
// once, and a raise would only slow the relay beside its own clients.
void LinkEngine::KeepTimeAsNeeded()
{
    const bool timed = m_delayMs.load() > 0 || m_options.jitterMs > 0 || m_options.rateKbit.has_value();
    if (timed == m_raised)
        return;
    if (timed) {
        m_raised = ThreadTiming::ForThisThread(ThreadTiming::Priority::Raise) == ThreadTiming::Granted::RaisedPriority;
    } else {
        ThreadTiming::Lower();
        m_raised = false;
    }
}

void LinkEngine::ApplyModify()
{
    KeepTimeAsNeeded();
    const std::int32_t delayMs = m_delayMs.load();
    const std::int32_t before = std::max(0, m_appliedDelayMs);
    m_appliedDelayMs = delayMs;
    if (std::max(0, delayMs) >= before)
        return;
    // A shorter delay: nothing already waiting stays longer than the new
    // delay from its arrival (a mistyped long delay must not hold datagrams).
    const LinkTime now = m_clock.Now();
    const std::chrono::nanoseconds delay = std::chrono::milliseconds(std::max(0, delayMs));
    std::array<LinkTime, 2> latest{now, now};
    m_queue.Reschedule([&](WaitingDatagram& waiting) {
        if (!m_impairments[waiting.direction])
            return;
        const LinkTime capped = std::max(now, waiting.arrival + delay);
        if (capped < waiting.departure) {
            waiting.departure = capped;
            waiting.fate.delayMs = delayMs;  // as the dialog: the delay in force when it leaves
        }
        latest[waiting.direction] = std::max(latest[waiting.direction], waiting.departure);
    });
    for (int direction : {kToServer, kToClient})
        if (m_impairments[direction])
            m_impairments[direction]->PullTimelinesBackTo(latest[direction]);
}

Session* LinkEngine::OpenSession(const Ipv4Endpoint& client, LinkTime now)
{
    if (m_sessions.Size() >= static_cast<std::size_t>(m_options.maxSessions))
        if (Session* oldest = m_sessions.MakeRoomCandidate())
            CloseSession(*oldest, CloseReason::Limit);
    auto session = std::make_unique<Session>();
    session->id = m_sessions.NextId();
    session->client = client;
    bool opened = OpenSessionSocket(*session);
    if (!opened && m_sessions.Size() > 0) {
        // Out of sockets, most likely: the session idle longest makes room.
        if (Session* oldest = m_sessions.MakeRoomCandidate())
            CloseSession(*oldest, CloseReason::Limit);
        opened = OpenSessionSocket(*session);
    }
    if (!opened) {
        m_counters.Add(EngineCounter::SessionOpenFailures);
        Log(L"Session " + EndpointText(client) + kSessionFailedTail +
            CAsyncSocket::ErrorText(session->socket.GetLastError()) + L".\r\n");
        return nullptr;
    }
    m_counters.Add(EngineCounter::SessionsOpened);
    Log(L"Session " + EndpointText(client) +
        CString::Formatted(kSessionOpenedTail, session->socket.GetLocalPort()));
    return &m_sessions.Add(std::move(session), now);
}

bool LinkEngine::OpenSessionSocket(Session& session)
{
    if (!session.socket.Create(0, SOCK_DGRAM, FD_READ, m_options.listenAddress))
        return false;
    session.socket.SetBufferSizes(kSessionBufferBytes);
    if (m_wait.Add(session.socket, session.id))
        return true;
    session.socket.Close();
    return false;
}

void LinkEngine::CloseSession(Session& session, CloseReason reason)
{
    Flush();  // those leaving through its socket go first
    // Replies that reached the session but were not taken yet are lost with
    // it. Counted up to a bound: a server that keeps sending must not hold
    // the engine here.
    Ipv4Endpoint from;
    for (int taken = 0;
         taken < kMostCountedAtClose && session.socket.ReceiveDatagram(m_discard.get(), kSlotBytes, from) >= 0;
         ++taken)
        m_counters.Add(EngineCounter::ClosedSessionDrops);
    m_wait.Remove(session.socket);
    m_counters.Add(reason == CloseReason::Idle ? EngineCounter::SessionsClosedIdle : EngineCounter::SessionsClosedLimit);
    Log(L"Session " + EndpointText(session.client) +
        (reason == CloseReason::Idle ? kSessionIdleTail : kSessionLimitTail));
    m_sessions.Remove(session.id);
}

void LinkEngine::ExpireSessions()
{
    const LinkTime now = m_clock.Now();
    while (Session* idle = m_sessions.Expired(now, m_sessionIdle))
        CloseSession(*idle, CloseReason::Idle);
}

void LinkEngine::UpdateGauges()
{
    m_counters.SetGauges(m_sessions.Size(), m_queue.Size(), m_store.BytesInUse());
}
