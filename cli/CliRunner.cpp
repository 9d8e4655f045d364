#include "cli/CliRunner.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "DulvetVersion.h"
#include "capture/CaptureWriter.h"
#include "cli/JsonEventLog.h"

#include "cli/CommandReader.h"
#include "cli/ControlApi.h"
#include "cli/Engine.h"
#include "cli/LineWriter.h"
#include "cli/SignalWatch.h"
#include "cli/StatsFormatter.h"
#include "cli/StreamLogHost.h"

namespace {

// The engine's notices on standard error, each a line of its own.
class NoticeLogHost : public LogHost {
public:
    explicit NoticeLogHost(LineWriter& err) : m_err(err) {}
    void AppendLog(const CString& line) override { m_err.Write("dulvet: " + line.ToUtf8() + "\n"); }
    void ScrollLogToEnd() override {}

private:
    LineWriter& m_err;
};

LinkTime SteadyNow() { return std::chrono::steady_clock::now().time_since_epoch(); }

std::chrono::steady_clock::time_point SteadyTime(LinkTime time)
{
    return std::chrono::steady_clock::time_point(std::chrono::duration_cast<std::chrono::steady_clock::duration>(time));
}

std::chrono::steady_clock::duration FromSeconds(double seconds)
{
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

// Both observers when both are asked for.
class CliRunner::Observers final : public DatagramObserver {
public:
    void Add(DatagramObserver* observer)
    {
        if (observer)
            m_observers.push_back(observer);
    }
    DatagramObserver* Single()
    {
        if (m_observers.empty())
            return nullptr;
        return m_observers.size() == 1 ? m_observers.front() : this;
    }
    void OnDatagram(const DatagramEvent& event) override
    {
        for (DatagramObserver* observer : m_observers)
            observer->OnDatagram(event);
    }

private:
    std::vector<DatagramObserver*> m_observers;
};

int CliRunner::Run()
{
    std::string error;
    if (!m_engine.Open(error)) {
        WriteLinesNow(StdStream::Err, "dulvet: " + error + "\n");
        return 1;
    }
    // A capture on standard output takes it whole: the lines go to standard error.
    const bool captureOnStdout = m_options.capturePath && *m_options.capturePath == "-";
    LineWriter out(captureOnStdout ? StdStream::Err : StdStream::Out);
    LineWriter err(StdStream::Err);
    m_started = Clock::now();
    std::unique_ptr<CaptureWriter> capture;
    if (m_options.capturePath) {
        CaptureSettings settings;
        settings.path = *m_options.capturePath;
        if (m_options.captureLimitMb)
            settings.limitBytes = static_cast<std::uint64_t>(std::llround(*m_options.captureLimitMb * 1e6));
        settings.application = "Dulvet " DULVET_VERSION_TEXT;
        capture = std::make_unique<CaptureWriter>(settings, [&err](const std::string& line) {
            err.Write("dulvet: " + line + "\n");
        });
        if (!capture->Open(error)) {
            err.Write("dulvet: " + error + "\n");
            err.Finish(kOutputPatience);
            return 1;
        }
        m_capture = capture.get();
    }
    JsonEventLog json(out, m_started);
    StreamLogHost plainSettings(&out);
    StreamLogHost plainDatagrams(m_options.quiet ? nullptr : &out);
    StreamLogHost quietDatagrams(nullptr);
    LogHost& settingsLog = m_options.jsonLog ? json.SettingsHost() : static_cast<LogHost&>(plainSettings);
    LogHost& datagramLog = m_options.jsonLog ? (m_options.quiet ? static_cast<LogHost&>(quietDatagrams)
                                                                : json.DatagramHost())
                                             : static_cast<LogHost&>(plainDatagrams);
    Observers observers;
    observers.Add(capture.get());
    observers.Add(m_options.jsonLog && !m_options.quiet ? &json : nullptr);
    m_engine.Observe(observers.Single());
    NoticeLogHost notices(err);
    m_engine.SetNoticeLog(notices);
    const auto queue = std::make_shared<ControlQueue>();

    if (!m_engine.Start(settingsLog, datagramLog, error)) {
        err.Write("dulvet: " + error + "\n");
        return 1;
    }
    if (!m_options.profileLine.empty())
        err.Write("dulvet: " + m_options.profileLine + "\n");
    if (m_options.serverNamed)
        err.Write("dulvet: Server " + m_options.serverText.ToUtf8() + " is " + m_options.link.server.ToText().ToUtf8() +
                  ".\n");
    for (const std::string& note : m_engine.StartNotes())
        err.Write("dulvet: " + note + "\n");
    m_control.emplace(m_options, m_engine);
    m_signals.Start(queue);
    CommandReader::Start(queue);
    ControlApi api(queue, [this] { return AllStats(); });
    ControlServer server([&api](const ControlRequest& request) { return api.Handle(request); },
                         m_options.controlToken.value_or(""));
    if (m_options.controlAddress) {
        if (!server.Start(*m_options.controlAddress, m_options.controlPort, error)) {
            err.Write("dulvet: cannot serve the control API on " + *m_options.controlAddress + ":" +
                      std::to_string(m_options.controlPort) + ": " + error + "\n");
            m_engine.Stop();
            out.Finish(kOutputPatience);
            err.Finish(kOutputPatience);
            return 1;
        }
        err.Write("dulvet: control API on http://" + *m_options.controlAddress + ":" + std::to_string(server.Port()) +
                  "\n");
    }
    // Ready: the scenario's 0s is now.
    m_settingsLog = &settingsLog;
    if (m_options.scenario)
        m_scenario = std::make_unique<ScenarioPlayer>(m_options.scenario, SteadyNow());
    const std::string reason = RunUntilEnd(*queue, err);
    m_scenario.reset();
    api.Close();
    server.Stop();
    m_engine.Stop();
    if (capture)
        capture->Finish();

    const double seconds = Seconds();
    out.Finish(kOutputPatience);
    err.Write(SummaryLine(reason, seconds, AllStats()));
    err.Finish(kOutputPatience);
    m_capture = nullptr;
    m_signals.Ended();
    return 0;
}

EngineStats CliRunner::AllStats() const
{
    EngineStats stats = m_engine.Stats();
    if (m_capture)
        stats.push_back({"capture-dropped", m_capture->LeftOut(), true});
    return stats;
}

std::string CliRunner::RunUntilEnd(ControlQueue& queue, LineWriter& err)
{
    // "Never" as a time well within any clock's range.
    const auto never = m_started + std::chrono::hours(24 * 365 * 100);
    const auto end = m_options.durationSeconds ? m_started + FromSeconds(*m_options.durationSeconds) : never;
    const auto statsEvery = FromSeconds(m_options.statsSeconds.value_or(0));
    auto nextStats = m_options.statsSeconds ? m_started + statsEvery : never;
    for (;;) {
        PlayScenario(err);
        // Waits are cut into hours, so that no platform meets a far deadline.
        auto wake = std::min({end, nextStats, Clock::now() + std::chrono::hours(1)});
        if (const auto step = m_scenario ? m_scenario->WakeTime() : std::nullopt)
            wake = std::min(wake, SteadyTime(*step));
        if (const auto event = queue.WaitUntil(wake)) {
            if (auto reason = Handle(*event, err))
                return *reason;
            continue;
        }
        const auto now = Clock::now();
        if (now >= end)
            return "--duration";
        if (now >= nextStats) {
            err.Write(StatsLine(Seconds(), AllStats()));
            while (nextStats <= now)  // a late turn does not bring a burst of lines
                nextStats += statsEvery;
        }
    }
}

std::optional<std::string> CliRunner::Handle(const ControlEvent& event, LineWriter& err)
{
    if (const auto* end = std::get_if<EndRequest>(&event))
        return end->reason;
    if (const auto* call = std::get_if<ControlCall>(&event)) {
        call->work(*m_control);
        return std::nullopt;
    }
    if (const auto* call = std::get_if<ScenarioCall>(&event)) {
        ScenarioSlot slot{*m_control, m_scenario, SteadyNow()};
        call->work(slot);
        return std::nullopt;
    }
    const CommandParse& parse = std::get<CommandParse>(event);
    if (!parse.command) {
        if (!parse.error.empty())
            err.Write("dulvet: " + parse.error + "\n");
        return std::nullopt;
    }
    switch (parse.command->kind) {
    case Command::Kind::Modify:
        m_control->Modify(parse.command->lossPercent, parse.command->delayMs);
        break;
    case Command::Kind::Set:
    case Command::Kind::Down:
    case Command::Kind::Up:
        HandleChange(*parse.command, err);
        break;
    case Command::Kind::Show:
        err.Write(m_control->Show() + "\n");
        break;
    case Command::Kind::Stats:
        err.Write(StatsLine(Seconds(), AllStats()));
        break;
    case Command::Kind::Quit:
        return "quit";
    }
    return std::nullopt;
}

void CliRunner::HandleChange(const Command& command, LineWriter& err)
{
    ControlResult result;
    switch (command.kind) {
    case Command::Kind::Set:
        result = m_control->Set(command.words);
        if (result.Ok() && result.message.empty())
            result = {ControlResult::Status::Bad, "the link has these settings already"};
        break;
    case Command::Kind::Down:
        result = m_control->Down(command.way, command.seconds);
        break;
    default:
        result = m_control->Up();
        break;
    }
    if (result.Ok())
        return;  // the engine's settings line says what changed
    const bool named = result.status == ControlResult::Status::NotLive;
    err.Write("dulvet: " + (named ? std::string() : std::string(command.kind == Command::Kind::Set ? "set: " : "")) +
              result.message + "\n");
}

void CliRunner::PlayScenario(LineWriter& err)
{
    if (!m_scenario)
        return;
    m_scenario->Play(
        SteadyNow(), *m_control,
        [this](const std::string& line) { m_settingsLog->AppendLog(CString::FromUtf8(line + "\r\n")); },
        [&err](const std::string& line) { err.Write("dulvet: " + line + "\n"); });
    if (!m_scenario->NextTime())
        m_scenario.reset();  // all done
}

double CliRunner::Seconds() const { return std::chrono::duration<double>(Clock::now() - m_started).count(); }
