#include "cli/CliRelayEngine.h"

#include "cli/EngineMessages.h"
#include "relay/RelaySettings.h"
#include "relay/RelayState.h"
#include "relay/RelayWorker.h"
#include "framework/core/KernelDrops.h"
#include "framework/core/SocketTypes.h"

bool CliRelayEngine::Open(std::string& error)
{
    if (!AfxSocketInit()) {
        error = kSocketsLibraryFailure;
        return false;
    }
    // The relay socket listens on the first address a name gives; the
    // worker serves the others beside it.
    const IpEndpoint& listen = m_options.link.listen.front();
    if (!g_relaySocket.Create(listen.Port(), SOCK_DGRAM, FD_READ, listen.AddressText())) {
        error = CannotOpenRelayPort(listen, g_relaySocket.GetLastError());
        return false;
    }
    for (std::size_t i = 1; i < m_options.link.listen.size(); ++i) {
        int code = 0;
        if (!m_more.Listen(m_options.link.listen[i], code)) {
            error = CannotOpenRelayPort(m_options.link.listen[i], code);
            CloseSockets();
            return false;
        }
    }
    const IpEndpoint& server = m_options.link.server;
    if (int code = 0; !m_more.ReachServer(server, listen, g_relaySocket.TakesBothFamilies(), code)) {
        error = CannotOpenRelayPort(server.IsV4() ? IpEndpoint() : IpEndpoint::V6({}, 0), code);
        CloseSockets();
        return false;
    }
    // As the dialog's Start fills them in, before the worker exists. The
    // worker knows the server by this text, as the receive writes it.
    g_relaySocket.m_strServerAddr = server.AddressText();
    g_relaySocket.m_nServerPort = server.Port();
    g_relaySocket.m_strLocalAddr = listen.AddressText();
    g_relaySocket.m_nLocalPort = listen.Port();
    g_relaySocket.m_allowed = m_options.link.allow;
    return true;
}

void CliRelayEngine::CloseSockets()
{
    g_relaySocket.Close();
    m_more.Close();
}

std::vector<std::string> CliRelayEngine::StartNotes() const
{
    std::vector<std::string> notes;
    if (g_relaySocket.TakesBothFamilies())
        notes.push_back(ListeningForBoth(m_options.link.listen.front()));
    for (const RelaySockets::Extra& extra : m_more.Extras())
        if (!extra.towardsServerOnly && extra.socket->TakesBothFamilies())
            notes.push_back(ListeningForBoth(extra.at));
    return notes;
}

void CliRelayEngine::Observe(DatagramObserver* observer) { g_relayWorker.Observe(observer); }

bool CliRelayEngine::Start(LogHost& settingsLog, LogHost& datagramLog, std::string& error)
{
    // As the dialog's Start: the settings and their lines once the worker
    // exists, before it takes a datagram.
    const auto announce = [&] { ApplyLossAndDelay(m_options.link.lossPercent, m_options.link.delayMs, settingsLog); };
    // Unlike the dialog's, dulvet's worker asks for a raised priority while
    // a delay is set, as the link engine does: beside a busy program its
    // pauses then end on time where the system grants it.
    g_relayWorker.KeepTimeWith(ThreadTiming::Priority::RaiseOrKeep);
    g_relayWorker.SetNoticeLog(m_noticeLog);
    g_relayWorker.Serve(&m_more);
    if (!g_relayWorker.Launch(datagramLog, announce)) {
        g_relayWorker.Serve(nullptr);
        CloseSockets();
        error = kRelayStartFailure;
        return false;
    }
    m_settingsLog = &settingsLog;
    return true;
}

void CliRelayEngine::Modify(double lossPercent, std::int32_t delayMs)
{
    if (m_settingsLog)
        ApplyLossAndDelay(lossPercent, delayMs, *m_settingsLog);
}

EngineStats CliRelayEngine::Stats() const
{
    const RelayStats& stats = g_relayWorker.Stats();
    const auto read = [](const RelayStats::Counter& counter) { return counter.load(std::memory_order_relaxed); };
    EngineStats counters{
        {"from_clients", read(stats.fromClients)}, {"to_server", read(stats.toServer)},
        {"dropped", read(stats.dropped)},          {"from_server", read(stats.fromServer)},
        {"to_client", read(stats.toClient)},       {"lost_replies", read(stats.lostReplies)},
        {"too_long", read(stats.tooLong)},
    };
    // Counted where they happen, which in a sound run is never: the summary
    // names them only then.
    counters.push_back({"own_address", read(stats.ownAddress), false});
    counters.push_back({"send_failed", read(stats.sendFailed), false});
    counters.push_back({"not_allowed", read(stats.notAllowed), false});
    counters.push_back({"not_from_server", read(stats.notFromServer), false});
    if (const auto drops = g_relaySocket.IsOpen() ? KernelDropsAtOwnSockets() : m_kernelDropsAtClose)
        counters.push_back({"kernel_drops", *drops, false});
    return counters;
}

void CliRelayEngine::Stop()
{
    g_relayWorker.Stop();
    g_relayWorker.Observe(nullptr);
    g_relayWorker.SetNoticeLog(nullptr);
    g_relayWorker.Serve(nullptr);
    if (g_relaySocket.IsOpen())
        m_kernelDropsAtClose = KernelDropsAtOwnSockets();
    CloseSockets();
    m_settingsLog = nullptr;
}
