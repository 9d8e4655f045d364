#include "cli/CliLinkEngine.h"

#include "cli/EngineMessages.h"
#include "link/LinkEngine.h"

CliLinkEngine::CliLinkEngine(const LinkOptions& options, const LinkClock& clock) : m_options(options), m_clock(clock) {}

CliLinkEngine::~CliLinkEngine() { Stop(); }

bool CliLinkEngine::Open(std::string& error)
{
    if (!AfxSocketInit()) {
        error = kSocketsLibraryFailure;
        return false;
    }
    auto engine = std::make_unique<LinkEngine>(m_options, m_settingsLog, m_datagramLog, m_clock);
    if (!engine->Open()) {
        error = CannotOpenRelayPort(engine->FailedEndpoint(), engine->LastError());
        return false;
    }
    m_engine = std::move(engine);
    return true;
}

void CliLinkEngine::Observe(DatagramObserver* observer) { m_observer = observer; }

bool CliLinkEngine::Start(LogHost& settingsLog, LogHost& datagramLog, std::string& error)
{
    m_settingsLog.SetTarget(settingsLog);
    m_datagramLog.SetTarget(datagramLog);
    if (m_engine)
        m_engine->Observe(m_observer);
    if (m_engine && m_noticeLog)
        m_engine->SetNoticeLog(*m_noticeLog);
    if (!m_engine || !m_engine->Start()) {
        m_engine.reset();  // closes the port again
        error = kRelayStartFailure;
        return false;
    }
    return true;
}

void CliLinkEngine::Modify(double lossPercent, std::int32_t delayMs)
{
    if (m_engine)
        Applied(m_engine->Modify(lossPercent, delayMs));
}

bool CliLinkEngine::Applied(std::optional<std::uint64_t> ticket)
{
    return ticket && m_engine->WaitApplied(*ticket, kChangePatience);
}

bool CliLinkEngine::Apply(const LinkSettings& settings, const std::string& line, std::optional<LinkTime> at)
{
    return m_engine && Applied(m_engine->Apply(settings, CString::FromUtf8(line), at));
}

bool CliLinkEngine::Down(LinkDirection way, std::optional<double> seconds, const std::string& line,
                         std::optional<LinkTime> at)
{
    std::optional<std::chrono::nanoseconds> length;
    if (seconds)
        length = std::chrono::nanoseconds(static_cast<std::int64_t>(*seconds * 1e9));
    return m_engine && Applied(m_engine->Down(way, length, CString::FromUtf8(line), at));
}

bool CliLinkEngine::Up(const std::string& line, std::optional<LinkTime> at)
{
    return m_engine && Applied(m_engine->Up(CString::FromUtf8(line), at));
}

std::optional<std::uint64_t> CliLinkEngine::ChosenSeed() const
{
    if (m_options.seed || !m_engine)
        return std::nullopt;
    return m_engine->Seed();
}

EngineStats CliLinkEngine::Stats() const
{
    EngineStats stats;
    if (!m_engine)
        return stats;
    for (auto& [name, value] : LinkStatsEntries(m_engine->Stats())) {
        // The summary names every cause that happened, and always what came and went.
        const bool traffic = name.ends_with(".received") || name.ends_with(".sent");
        stats.push_back({std::move(name), value, traffic});
    }
    return stats;
}

void CliLinkEngine::Stop()
{
    if (m_engine)
        m_engine->Stop();
}

std::vector<std::string> CliLinkEngine::StartNotes() const
{
    std::vector<std::string> notes;
    if (!m_engine)
        return notes;
    const std::vector<IpEndpoint> listening = m_engine->ListenEndpoints();
    for (std::size_t i = 0; i < listening.size(); ++i)
        if (m_engine->TakesBothFamilies(i))
            notes.push_back(ListeningForBoth(listening[i]));
    if (!m_options.seed) {
        const std::string seed = std::to_string(m_engine->Seed());
        notes.push_back("seed " + seed + " chosen; --seed " + seed + " makes the same random choices again");
    }
    return notes;
}

unsigned CliLinkEngine::ListenPort() const { return m_engine ? m_engine->ListenPort() : 0; }
