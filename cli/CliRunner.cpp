#include "cli/CliRunner.h"

#include <algorithm>
#include <memory>

#include "cli/CommandReader.h"
#include "cli/Engine.h"
#include "cli/LineWriter.h"
#include "cli/SignalWatch.h"
#include "cli/StatsFormatter.h"
#include "cli/StreamLogHost.h"

namespace {

std::chrono::steady_clock::duration FromSeconds(double seconds)
{
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

int CliRunner::Run()
{
    std::string error;
    if (!m_engine.Open(error)) {
        WriteLinesNow(StdStream::Err, "dulvet: " + error + "\n");
        return 1;
    }
    LineWriter out(StdStream::Out);
    LineWriter err(StdStream::Err);
    StreamLogHost settingsLog(&out);
    StreamLogHost datagramLog(m_options.quiet ? nullptr : &out);
    const auto queue = std::make_shared<ControlQueue>();

    m_started = Clock::now();
    if (!m_engine.Start(settingsLog, datagramLog, error)) {
        err.Write("dulvet: " + error + "\n");
        return 1;
    }
    if (const std::string note = m_engine.StartNote(); !note.empty())
        err.Write("dulvet: " + note + "\n");
    m_signals.Start(queue);
    CommandReader::Start(queue);
    const std::string reason = RunUntilEnd(*queue, err);
    m_engine.Stop();

    const double seconds = Seconds();
    out.Finish(kOutputPatience);
    err.Write(SummaryLine(reason, seconds, m_engine.Stats()));
    err.Finish(kOutputPatience);
    m_signals.Ended();
    return 0;
}

std::string CliRunner::RunUntilEnd(ControlQueue& queue, LineWriter& err)
{
    // "Never" as a time well within any clock's range.
    const auto never = m_started + std::chrono::hours(24 * 365 * 100);
    const auto end = m_options.durationSeconds ? m_started + FromSeconds(*m_options.durationSeconds) : never;
    const auto statsEvery = FromSeconds(m_options.statsSeconds.value_or(0));
    auto nextStats = m_options.statsSeconds ? m_started + statsEvery : never;
    for (;;) {
        // Waits are cut into hours, so that no platform meets a far deadline.
        const auto wake = std::min({end, nextStats, Clock::now() + std::chrono::hours(1)});
        if (const auto event = queue.WaitUntil(wake)) {
            if (auto reason = Handle(*event, err))
                return *reason;
            continue;
        }
        const auto now = Clock::now();
        if (now >= end)
            return "--duration";
        if (now >= nextStats) {
            err.Write(StatsLine(Seconds(), m_engine.Stats()));
            while (nextStats <= now)  // a late turn does not bring a burst of lines
                nextStats += statsEvery;
        }
    }
}

std::optional<std::string> CliRunner::Handle(const ControlEvent& event, LineWriter& err)
{
    if (const auto* end = std::get_if<EndRequest>(&event))
        return end->reason;
    const CommandParse& parse = std::get<CommandParse>(event);
    if (!parse.command) {
        if (!parse.error.empty())
            err.Write("dulvet: " + parse.error + "\n");
        return std::nullopt;
    }
    switch (parse.command->kind) {
    case Command::Kind::Modify:
        m_engine.Modify(parse.command->lossPercent, parse.command->delayMs);
        break;
    case Command::Kind::Stats:
        err.Write(StatsLine(Seconds(), m_engine.Stats()));
        break;
    case Command::Kind::Quit:
        return "quit";
    }
    return std::nullopt;
}

double CliRunner::Seconds() const { return std::chrono::duration<double>(Clock::now() - m_started).count(); }
