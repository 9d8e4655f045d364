#include "link/LinkEngine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <random>

#include "framework/core/EndpointLookup.h"
#include "framework/core/MemoryTrim.h"
#include "framework/core/ThreadTiming.h"
#include "link/LinkLines.h"
#include "relay/LogHost.h"
#include "relay/MissCount.h"
#include "relay/SettingsLines.h"

namespace {

#ifdef _WIN32
constexpr int kInvalidArgument = 10022;  // WSAEINVAL
#else
constexpr int kInvalidArgument = EINVAL;
#endif

// Keys of the sockets in the wait: session ids count up from 1; the
// listening sockets and the one towards the server have the top bits.
constexpr std::uint64_t kListenKey = std::uint64_t{1} << 63;  // | the listening socket's index
constexpr std::uint64_t kServerSocketKey = std::uint64_t{1} << 62;
// Datagrams taken from one socket before the others get their turn, and
// at most in one call.
constexpr int kReceiveBudget = 64;
constexpr int kReceiveBatch = 32;
constexpr int kSlotBytes = LinkEngine::kLargestDatagram + 1;
constexpr int kListenBufferBytes = 4 << 20;

std::uint64_t ChooseSeed()
{
    std::random_device device;
    const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return (std::uint64_t{device()} << 32 ^ device()) ^ now;
}

LinkTime SecondsToLinkTime(double seconds) { return std::chrono::nanoseconds(std::llround(seconds * 1e9)); }

}  // namespace

LinkEngine::LinkEngine(const LinkOptions& options, LogHost& settingsLog, LogHost& datagramLog,
                       const LinkClock& clock)
    : m_options(options),
      m_settingsLog(settingsLog),
      m_clock(clock),
      m_seed(options.seed ? *options.seed : ChooseSeed()),
      m_report(datagramLog),
      m_sessions(static_cast<std::size_t>(options.maxSessions), static_cast<std::size_t>(options.sessionsPerAddress),
                 SecondsToLinkTime(options.sessionIdleSeconds), m_wait, m_report, m_leaving),
      m_receiveBuffers(std::make_unique_for_overwrite<unsigned char[]>(std::size_t{kReceiveBatch} * kSlotBytes)),
      m_received(kReceiveBatch)
{
    for (int i = 0; i < kReceiveBatch; ++i) {
        m_received[i].bytes = &m_receiveBuffers[static_cast<std::size_t>(i) * kSlotBytes];
        m_received[i].capacity = kSlotBytes;
    }
    m_settings = options.Settings();
    m_requested = m_settings;
    // Both ways keep their streams, so that --direction may change later.
    for (const Direction direction : kBothDirections)
        m_impairments[direction].emplace(m_settings, m_seed, direction);
    m_changes.reserve(kMostWaitingChanges);
    m_applying.reserve(kMostWaitingChanges);
}

LinkEngine::~LinkEngine() { Stop(); }

bool LinkEngine::Open()
{
    if (m_options.listen.empty() || m_options.listen.size() > 0xFFFF || !m_wait.IsUsable()) {
        m_lastError = kInvalidArgument;
        return false;
    }
    m_server = m_options.server;
    if (OpenListening() && OpenTowardsServer())
        return true;
    for (const auto& socket : m_listen)
        m_wait.Remove(*socket);
    m_listen.clear();
    m_listenAt.clear();
    return false;
}

bool LinkEngine::OpenListening()
{
    std::vector<SessionKeeper::Place> places;
    for (const IpEndpoint& local : m_options.listen) {
        // "[::]:PORT" takes IPv4 too, where the system allows.
        const auto stack = !local.IsV4() && local.IsUnspecified() ? DatagramSocket::Stack::Dual
                                                                  : DatagramSocket::Stack::Single;
        auto socket = std::make_unique<DatagramSocket>();
        if (!socket->Open(local, stack) || !m_wait.Add(*socket, kListenKey | m_listen.size())) {
            m_lastError = socket->IsOpen() ? kInvalidArgument : socket->LastError();
            m_failedEndpoint = local;
            return false;
        }
        socket->SetBufferSizes(kListenBufferBytes);
        // A session's socket sits beside the listening one where that
        // reaches the server; else on any address of the server's family.
        // (On every address, the capture shows the one it sends from.)
        const IpEndpoint place = socket->CanReach(m_server) ? socket->LocalEndpoint().WithPort(0)
                                 : m_server.IsV4()          ? IpEndpoint()
                                                            : IpEndpoint::V6({}, 0);
        const auto placeStack = socket->CanReach(m_server) ? stack : DatagramSocket::Stack::Single;
        places.push_back({place, placeStack, SendingEnd(place, m_server)});
        m_listenAt.push_back(socket->LocalEndpoint());
        m_listen.push_back(std::move(socket));
    }
    m_sessions.SetPlaces(std::move(places));
    return true;
}

bool LinkEngine::OpenTowardsServer()
{
    if (m_options.clients == ClientsMode::Each)
        return true;  // each session has its own
    // As the dialog: through the listening socket, where one reaches it.
    for (std::size_t i = 0; i < m_listen.size(); ++i)
        if (m_listen[i]->CanReach(m_server)) {
            m_towardsServer = m_listen[i].get();
            m_towardsServerAt = m_listenAt[i];
            return true;
        }
    const IpEndpoint any = m_server.IsV4() ? IpEndpoint() : IpEndpoint::V6({}, 0);
    if (!m_ownServerSocket.Open(any) || !m_wait.Add(m_ownServerSocket, kServerSocketKey)) {
        m_lastError = m_ownServerSocket.IsOpen() ? kInvalidArgument : m_ownServerSocket.LastError();
        m_failedEndpoint = any;
        return false;
    }
    m_ownServerSocket.SetBufferSizes(kListenBufferBytes);
    m_towardsServer = &m_ownServerSocket;
    m_towardsServerAt = SendingEnd(m_ownServerSocket.LocalEndpoint(), m_server);
    return true;
}

bool LinkEngine::TakesBothFamilies(std::size_t listenIndex) const
{
    return listenIndex < m_listen.size() && m_listen[listenIndex]->IsDualStack();
}

bool LinkEngine::Start()
{
    if (m_thread || m_listen.empty())
        return false;
    m_stopping = false;
    m_wake.Reset();
    std::unique_lock lock(m_startMutex);
    m_settingsLogged = false;
    const LinkTime ready = m_clock.Now();  // a rate trace's time 0
    for (const Direction direction : kBothDirections)
        if (auto& impairment = m_impairments[direction])
            impairment->StartTraceAt(ready);
    {
        std::lock_guard changeLock(m_changeMutex);
        m_ended = false;
    }
    m_thread = AfxBeginThread(&LinkEngine::ThreadProc, this);
    if (!m_thread)
        return false;
    m_announced.wait(lock, [this] { return m_settingsLogged; });
    return true;
}

std::uint64_t LinkEngine::Modify(double lossPercent, std::int32_t delayMs)
{
    Change change;
    {
        std::lock_guard lock(m_changeMutex);
        change.settings = m_requested;
    }
    change.settings.lossPercent = lossPercent;
    change.settings.delayMs = delayMs;
    change.line = SettingsLines(MissCountFromLossRate(lossPercent), delayMs);
    // A modify is never refused: past the bound it waits its turn here,
    // which only a stalled engine would make it do.
    for (;;) {
        if (const auto ticket = Push(change))
            return *ticket;
        std::unique_lock lock(m_changeMutex);
        m_changeApplied.wait_for(lock, std::chrono::milliseconds(10));
    }
}

std::optional<std::uint64_t> LinkEngine::Apply(const LinkSettings& settings, const CString& line,
                                               std::optional<LinkTime> at)
{
    Change change;
    change.settings = settings;
    change.line = line;
    change.at = at;
    return Push(std::move(change));
}

std::optional<std::uint64_t> LinkEngine::Down(LinkDirection way, std::optional<std::chrono::nanoseconds> length,
                                              const CString& line, std::optional<LinkTime> at)
{
    Change change;
    change.kind = Change::Kind::Down;
    change.way = way;
    change.length = length;
    change.line = line;
    change.at = at;
    return Push(std::move(change));
}

std::optional<std::uint64_t> LinkEngine::Up(const CString& line, std::optional<LinkTime> at)
{
    Change change;
    change.kind = Change::Kind::Up;
    change.line = line;
    change.at = at;
    return Push(std::move(change));
}

std::optional<std::uint64_t> LinkEngine::Push(Change change)
{
    {
        std::lock_guard lock(m_changeMutex);
        if (m_changes.size() >= kMostWaitingChanges)
            return std::nullopt;
        change.ticket = ++m_lastTicket;
        if (change.kind == Change::Kind::Settings)
            m_requested = change.settings;
        m_changes.push_back(std::move(change));
    }
    m_wake.Raise();
    return m_lastTicket;
}

bool LinkEngine::WaitApplied(std::uint64_t ticket, std::chrono::steady_clock::duration patience)
{
    std::unique_lock lock(m_changeMutex);
    return m_changeApplied.wait_for(lock, patience, [&] { return m_appliedTicket >= ticket || m_ended; });
}

LinkSettings LinkEngine::Settings() const
{
    std::lock_guard lock(m_changeMutex);
    return m_requested;
}

void LinkEngine::Stop()
{
    if (!m_thread)
        return;
    m_stopping = true;
    m_wake.Raise();
    m_thread->Join();
    m_thread.reset();
    {
        std::lock_guard lock(m_changeMutex);
        m_ended = true;
    }
    m_changeApplied.notify_all();
}

unsigned LinkEngine::ThreadProc(void* self)
{
    static_cast<LinkEngine*>(self)->Run();
    return 0;
}

// The loop

void LinkEngine::Run()
{
    KeepTimeAsNeeded();
    {
        // The settings lines come first, once the thread exists: no
        // datagram line before them, and none at all if it never ran.
        std::lock_guard lock(m_startMutex);
        m_settingsLog.AppendLog(SettingsLines(MissCountFromLossRate(m_settings.lossPercent), m_settings.delayMs));
        m_settingsLogged = true;
    }
    m_announced.notify_one();
    while (!m_stopping.load()) {
        const auto woken = m_wait.Wait(ToSteady(NextDeadline()), m_ready);
        if (woken == SocketWait::Woken::Signal) {
            m_wake.Reset();
            if (m_stopping.load())
                break;
            ApplyChanges();
        }
        ApplyDueChanges(m_clock.Now());
        for (const std::uint64_t key : m_ready)
            ReceiveFrom(key);
        m_leaving.Flush();
        m_receivedInUse = 0;
        for (const Direction direction : kBothDirections)
            m_queues[direction].RescheduleSome(kRescheduleSlice);
        SendDue();
        m_sessions.CloseIdle(m_clock.Now());
        ReleaseAfterFlood();
        UpdateGauges();
        m_report.EndTurn();
    }
}

std::optional<LinkTime> LinkEngine::NextDeadline() const
{
    std::optional<LinkTime> deadline;
    for (const Direction direction : kBothDirections) {
        const DepartureQueue& queue = m_queues[direction];
        if (queue.Rescheduling())
            return m_clock.Now();  // the next slice after a look at the sockets
        if (!queue.Empty())
            deadline = std::min(deadline.value_or(LinkTime::max()), queue.Next().departure);
    }
    if (const auto expiry = m_sessions.NextExpiry())
        deadline = deadline ? std::min(*deadline, *expiry) : *expiry;
    if (!m_timed.empty())
        deadline = deadline ? std::min(*deadline, *m_timed.front().at) : *m_timed.front().at;
    return deadline;
}

SocketWait::Deadline LinkEngine::ToSteady(std::optional<LinkTime> deadline) const
{
    if (!deadline)
        return std::nullopt;
    // The clock may be a fake: keep the distance, not the reading.
    return std::chrono::steady_clock::now() + (*deadline - m_clock.Now());
}

void LinkEngine::UpdateGauges() { m_report.SetGauges(m_sessions.Size(), WaitingCount(), m_store.BytesInUse()); }

std::size_t LinkEngine::WaitingCount() const
{
    return m_queues[Direction::ToServer].Size() + m_queues[Direction::ToClient].Size();
}

std::size_t LinkEngine::WaitingCost() const { return m_store.CostInUse() + WaitingCount() * kEntryCost; }

void LinkEngine::ReleaseAfterFlood()
{
    m_mostCostSinceRelease = std::max(m_mostCostSinceRelease, WaitingCost());
    if (WaitingCount() > 0 || m_mostCostSinceRelease < kReleaseAfterCost)
        return;
    for (const Direction direction : kBothDirections)
        m_queues[direction].ReleaseRoom();
    m_store.ReleaseKept();
    GiveFreedMemoryBack();
    m_mostCostSinceRelease = 0;
}

// Taking datagrams in

DatagramSocket* LinkEngine::SocketOf(std::uint64_t key)
{
    if (key == kServerSocketKey)
        return &m_ownServerSocket;
    if (key & kListenKey)
        return (key & ~kListenKey) < m_listen.size() ? m_listen[key & ~kListenKey].get() : nullptr;
    Session* session = m_sessions.Find(key);
    return session ? &session->socket : nullptr;  // none: closed meanwhile
}

void LinkEngine::ReceiveFrom(std::uint64_t key)
{
    const bool isSession = !(key & (kListenKey | kServerSocketKey));
    for (int taken = 0; taken < kReceiveBudget;) {
        // Datagrams from several sockets share the slots, so that those
        // leaving through one socket go together; the slots are free again
        // once those leaving have gone.
        if (m_receivedInUse == kReceiveBatch) {
            m_leaving.Flush();
            m_receivedInUse = 0;
        }
        // The session may have closed while its datagrams were handled.
        DatagramSocket* socket = SocketOf(key);
        if (!socket)
            return;
        const int room = kReceiveBatch - m_receivedInUse;
        const int count = socket->ReceiveDatagrams(&m_received[static_cast<std::size_t>(m_receivedInUse)], room);
        for (int i = m_receivedInUse; i < m_receivedInUse + count; ++i) {
            const DatagramSocket::Received& datagram = m_received[static_cast<std::size_t>(i)];
            if (datagram.length < 0 || datagram.length > kLargestDatagram)
                continue;
            if (isSession) {
                Session* session = m_sessions.Find(key);
                if (!session)
                    break;
                OnSessionDatagram(*session, datagram);
            } else if (key == kServerSocketKey) {
                OnServerSocketDatagram(datagram);
            } else {
                OnListenDatagram(datagram, static_cast<std::uint16_t>(key & ~kListenKey));
            }
        }
        m_receivedInUse += count;
        if (count < room)
            return;  // none left
        taken += count;
    }
}

Hop LinkEngine::Arrival(const DatagramSocket::Received& datagram, const IpEndpoint& relayEnd) const
{
    Hop hop;
    hop.from = datagram.peer;
    hop.to = relayEnd;
    hop.bytes = datagram.bytes;
    hop.length = datagram.length;
    return hop;
}

void LinkEngine::OnListenDatagram(const DatagramSocket::Received& datagram, std::uint16_t via)
{
    const IpEndpoint& from = datagram.peer;
    const bool fromServer = m_options.clients == ClientsMode::Last && from == m_server;
    if (FromOwnSocket(from) || (!fromServer && !m_options.allow.Allows(from))) {
        Hop hop = Arrival(datagram, m_listenAt[via]);
        hop.arrival = m_clock.Now();
        if (FromOwnSocket(from))
            m_report.FromOwnSocket(hop);
        else
            m_report.NotAllowed(hop);
        return;
    }
    Route route;
    route.client = from;
    if (m_options.clients == ClientsMode::Each) {
        Session* session = m_sessions.ForClient(from, via, m_clock.Now());
        if (!session)
            return;
        route.session = session->id;
    } else if (from == m_server) {
        OnReply(datagram, m_listenAt[via]);
        return;
    } else {
        m_lastClient = from;
        m_lastClientVia = via;
        route.target = m_server;
    }
    Dispatch(route, Arrival(datagram, m_listenAt[via]));
}

void LinkEngine::OnServerSocketDatagram(const DatagramSocket::Received& datagram)
{
    if (datagram.peer == m_server) {
        OnReply(datagram, m_towardsServerAt);
        return;
    }
    Hop hop = Arrival(datagram, m_towardsServerAt);
    hop.arrival = m_clock.Now();
    m_report.NotFromServer(hop);
}

void LinkEngine::OnReply(const DatagramSocket::Received& datagram, const IpEndpoint& relayEnd)
{
    if (!m_lastClient) {
        Hop hop = Arrival(datagram, relayEnd);
        hop.arrival = m_clock.Now();
        m_report.NoClientYet(hop);
        return;
    }
    Route route;
    route.direction = Direction::ToClient;
    route.target = route.client = *m_lastClient;
    route.via = m_lastClientVia;
    Dispatch(route, Arrival(datagram, relayEnd));
}

void LinkEngine::OnSessionDatagram(Session& session, const DatagramSocket::Received& datagram)
{
    if (!(datagram.peer == m_server)) {
        Hop hop = Arrival(datagram, session.local);
        hop.client = session.client;
        hop.arrival = m_clock.Now();
        m_report.NotFromServer(hop);
        return;
    }
    m_sessions.Replied(session, m_clock.Now());
    Route route;
    route.direction = Direction::ToClient;
    route.session = session.id;
    route.client = session.client;
    Dispatch(route, Arrival(datagram, session.local));
}

void LinkEngine::Dispatch(const Route& route, Hop hop)
{
    const unsigned char* bytes = hop.bytes;
    const int length = hop.length;
    hop.number = m_report.Received(route.direction);
    hop.client = route.client;
    const LinkTime now = m_clock.Now();
    hop.arrival = now;
    if (TimedChangeDue(now))
        ApplyDueChanges(now);  // it meets every change timed up to its arrival
    Fate fate;
    fate.departure = now;
    Impairment& impairment = *m_impairments[route.direction];
    if (Outage(route.direction, now)) {
        if (Applies(m_settings.direction, route.direction))
            impairment.Skip();
        fate.drop = DropCause::Outage;
        m_report.Dropped(route.direction, fate, hop);
        return;
    }
    if (Applies(m_settings.direction, route.direction)) {
        fate = impairment.Decide(now, static_cast<std::size_t>(length));
        if (fate.Dropped()) {
            m_report.Dropped(route.direction, fate, hop);
            return;
        }
        if (fate.fellBehind && !m_toldFellBehind && m_notices) {
            m_toldFellBehind = true;
            m_notices->AppendLog(kFellBehindNotice);
        }
    }
    if (fate.departure <= now && NothingDue(route.direction, now)) {
        m_report.Arrived(route.direction, hop);
        Corrupt(hop, fate);
        Send(route, fate, bytes, length, false, hop);
        if (fate.duplicated)
            Send(route, fate, bytes, length, true, hop);
        return;
    }
    const std::size_t copies = fate.duplicated ? 2 : 1;
    const std::size_t cost = copies * (DatagramStore::CostOf(static_cast<std::size_t>(length)) + kEntryCost);
    if (WaitingCost() + cost > m_options.mostWaitingCost) {
        m_report.NoRoom(route.direction, hop);
        return;
    }
    m_report.Arrived(route.direction, hop);
    Corrupt(hop, fate);
    Queue(route, fate, hop, false);
    if (fate.duplicated)
        Queue(route, fate, hop, true);
}

// The chosen bit flips in the engine's own receive buffer, once the
// arrival has been reported as it came; a duplicate carries the flip too.
void LinkEngine::Corrupt(const Hop& hop, const Fate& fate)
{
    if (fate.Corrupted())
        FlipBit(const_cast<unsigned char*>(hop.bytes), fate.corruptBit);
}

// Waiting and leaving

void LinkEngine::Queue(const Route& route, const Fate& fate, const Hop& hop, bool copy)
{
    const unsigned char* bytes = hop.bytes;
    const int length = hop.length;
    WaitingDatagram waiting;
    waiting.departure = fate.departure;
    waiting.arrival = hop.arrival;
    waiting.number = hop.number;
    waiting.client = hop.client;
    waiting.via = route.via;
    waiting.block = m_store.Take(static_cast<std::size_t>(length));
    std::copy_n(bytes, length, waiting.block.bytes.get());
    waiting.length = static_cast<std::uint32_t>(length);
    waiting.direction = route.direction;
    waiting.session = route.session;
    waiting.target = route.target;
    waiting.fate = fate;
    waiting.copy = copy;
    if (Session* session = route.session ? m_sessions.Find(route.session) : nullptr)
        m_sessions.AddWaiting(*session);
    m_latestQueued[route.direction] = std::max(m_latestQueued[route.direction], fate.departure);
    m_latestArrival[route.direction] = std::max(m_latestArrival[route.direction], hop.arrival);
    m_queues[route.direction].Push(std::move(waiting));
}

bool LinkEngine::NothingDue(Direction direction, LinkTime now) const
{
    const DepartureQueue& queue = m_queues[direction];
    return queue.Empty() || queue.Next().departure > now;
}

void LinkEngine::SendDue()
{
    for (const Direction direction : kBothDirections)
        SendDue(direction);
    m_leaving.Flush();
    for (DatagramStore::Block& block : m_leftBlocks)
        m_store.Give(std::move(block));
    m_leftBlocks.clear();
}

// At most kSendBudget: a backlog that is all due at once leaves over
// several turns, the sockets served between them.
void LinkEngine::SendDue(Direction direction)
{
    DepartureQueue& queue = m_queues[direction];
    LinkTime now = m_clock.Now();
    for (std::size_t sent = 0; sent < kSendBudget && !NothingDue(direction, now); ++sent) {
        WaitingDatagram next = queue.Pop();
        const Route route{next.direction, next.session, next.target, next.client, next.via};
        if (Session* session = next.session ? m_sessions.Find(next.session) : nullptr)
            m_sessions.RemoveWaiting(*session, now);
        Hop passage;
        passage.number = next.number;
        passage.arrival = next.arrival;
        passage.client = next.client;
        Send(route, next.fate, next.block.bytes.get(), static_cast<int>(next.length), next.copy, passage);
        m_leftBlocks.push_back(std::move(next.block));
        if (NothingDue(direction, now))
            now = m_clock.Now();  // time has passed: more may be due
    }
}

void LinkEngine::Send(const Route& route, const Fate& fate, const unsigned char* bytes, int length, bool copy,
                      const Hop& passage)
{
    const bool toServer = route.direction == Direction::ToServer;
    DatagramSocket* socket = toServer ? m_towardsServer : m_listen[route.via].get();
    IpEndpoint to = toServer ? m_server : route.target;
    Hop hop = passage;
    hop.from = toServer ? m_towardsServerAt : m_listenAt[route.via];
    if (route.session) {
        Session* session = m_sessions.Find(route.session);
        if (!session) {
            socket = nullptr;  // it has closed: reported as lost with it
        } else if (toServer) {
            socket = &session->socket;
            hop.from = session->local;
        } else {
            socket = m_listen[session->via].get();
            hop.from = m_listenAt[session->via];
            to = session->client;
        }
    }
    m_leaving.Add(socket, route.direction, fate, copy, bytes, length, to, hop);
}

// Settings while it runs

// Departures on time beside a busy program: while datagrams wait for
// their time, a raised priority where the user may have it, else at least
// prompt wake-ups. Without delay, jitter or rate every datagram leaves at
// once, and a raise would only slow the relay beside its own clients.
void LinkEngine::KeepTimeAsNeeded()
{
    const bool timed = m_settings.delayMs > 0 || m_settings.jitterMs > 0 || m_settings.rateKbit.has_value() ||
                       m_settings.rateTraces[0] || m_settings.rateTraces[1] || !m_timed.empty();
    if (timed == m_raised)
        return;
    if (timed) {
        m_raised = ThreadTiming::ForThisThread(ThreadTiming::Priority::Raise) == ThreadTiming::Granted::RaisedPriority;
    } else {
        ThreadTiming::Lower();
        m_raised = false;
    }
}

void LinkEngine::ApplyChanges()
{
    {
        std::lock_guard lock(m_changeMutex);
        m_applying.swap(m_changes);
    }
    if (m_applying.empty())
        return;
    const LinkTime now = m_clock.Now();
    for (Change& change : m_applying) {
        if (change.at) {
            m_timed.push_back(std::move(change));
            continue;
        }
        if (change.kind == Change::Kind::Settings) {
            // It holds the timed settings still waiting: they apply with it.
            std::erase_if(m_timed, [this](const Change& timed) {
                if (timed.kind != Change::Kind::Settings)
                    return false;
                m_settingsLog.AppendLog(timed.line);
                return true;
            });
        }
        ApplyChange(change, now);
    }
    m_settingsLog.ScrollLogToEnd();
    KeepTimeAsNeeded();  // raised while a timed change waits
    {
        std::lock_guard lock(m_changeMutex);
        m_appliedTicket = m_applying.back().ticket;
    }
    m_changeApplied.notify_all();
    m_applying.clear();
}

void LinkEngine::ApplyDueChanges(LinkTime now)
{
    if (!TimedChangeDue(now))
        return;
    while (TimedChangeDue(now)) {
        ApplyChange(m_timed.front(), *m_timed.front().at);
        m_timed.pop_front();
    }
    m_settingsLog.ScrollLogToEnd();
    KeepTimeAsNeeded();
}

// `now`: when it counts as applied (a timed change: its time), from which
// an outage's length runs.
void LinkEngine::ApplyChange(const Change& change, LinkTime now)
{
    switch (change.kind) {
    case Change::Kind::Settings:
        ApplySettings(change.settings);
        break;
    case Change::Kind::Down:
        for (const Direction direction : kBothDirections)
            if (Applies(change.way, direction))
                m_outageEnd[direction] = change.length ? now + *change.length : LinkTime::max();
        break;
    case Change::Kind::Up:
        m_outageEnd[Direction::ToServer].reset();
        m_outageEnd[Direction::ToClient].reset();
        break;
    }
    m_settingsLog.AppendLog(change.line);
}

bool LinkEngine::Outage(Direction direction, LinkTime now)
{
    std::optional<LinkTime>& end = m_outageEnd[direction];
    if (end && now >= *end)
        end.reset();
    return end.has_value();
}

void LinkEngine::ApplySettings(const LinkSettings& settings)
{
    const std::int32_t before = std::max(0, m_settings.delayMs);
    m_settings = settings;
    for (const Direction direction : kBothDirections)
        m_impairments[direction]->Apply(settings);
    KeepTimeAsNeeded();
    const std::int32_t delayMs = settings.delayMs;
    if (std::max(0, delayMs) >= before)
        return;
    // A shorter delay: nothing already waiting stays longer than the new
    // delay from its arrival (a mistyped long delay must not hold datagrams).
    // With millions waiting this goes a slice a turn (RescheduleSome).
    const LinkTime now = m_clock.Now();
    const std::chrono::nanoseconds delay = std::chrono::milliseconds(std::max(0, delayMs));
    for (const Direction direction : kBothDirections) {
        if (!Applies(settings.direction, direction))
            continue;
        DepartureQueue& queue = m_queues[direction];
        queue.BeginReschedule([now, delay, delayMs](WaitingDatagram& waiting) {
            const LinkTime capped = std::max(now, waiting.arrival + delay);
            if (capped < waiting.departure) {
                waiting.departure = capped;
                waiting.fate.delayMs = delayMs;  // as the dialog: the delay in force when it leaves
            }
        });
        // None leaves later than this once moved: the timelines of later
        // arrivals start from it.
        LinkTime& latest = m_latestQueued[direction];
        latest = queue.Size() == 0 ? now : std::max(now, std::min(latest, m_latestArrival[direction] + delay));
        m_impairments[direction]->PullTimelinesBackTo(latest);
    }
}

bool LinkEngine::FromOwnSocket(const IpEndpoint& from)
{
    const auto atPort = [&from](const IpEndpoint& at) { return at.Port() == from.Port(); };
    const bool serverSocket = m_ownServerSocket.IsOpen() && m_towardsServerAt.Port() == from.Port();
    if (std::none_of(m_listenAt.begin(), m_listenAt.end(), atPort) && !m_sessions.UsesPort(from.Port()) &&
        !serverSocket)
        return false;
    // The relay's sockets are bound on the listening addresses, or on every
    // address (a listening [::] or 0.0.0.0, a socket towards a server of
    // the other family), which is every address of this machine.
    const IpEndpoint address = from.WithPort(0);
    bool everywhere = m_ownServerSocket.IsOpen();
    for (const IpEndpoint& at : m_listenAt) {
        if (at.WithPort(0) == address)
            return true;
        everywhere = everywhere || at.IsUnspecified();
    }
    if (!everywhere)
        everywhere = std::any_of(m_listen.begin(), m_listen.end(), [this](const auto& s) { return !s->CanReach(m_server); });
    return everywhere && m_thisMachine.Has(address);
}
