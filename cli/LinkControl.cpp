#include "cli/LinkControl.h"

#include "cli/Engine.h"
#include "cli/SettingsChange.h"

namespace {

std::string Seconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

ControlResult Failed()
{
    return {ControlResult::Status::Failed, "the link engine did not take the change in time; nothing changed"};
}

}  // namespace

LinkControl::LinkControl(const CliOptions& options, Engine& engine) : m_current(options), m_engine(engine)
{
    if (const auto seed = engine.ChosenSeed())
        m_current.link.seed = seed;
}

ControlResult LinkControl::NotLive(const char* command) const
{
    return {ControlResult::Status::NotLive,
            std::string(command) + ": the dialog's relay changes only by 'modify LOSS DELAY'; start dulvet with "
                                   "a link option (for example --pipeline) to run the link engine, which takes '" +
                command + "'"};
}

ControlResult LinkControl::Set(const std::vector<std::string>& words, std::optional<LinkTime> at)
{
    if (!m_engine.Live())
        return NotLive("set");
    const SettingsChange change = ReadSettingsChange(words, m_current.link);
    if (change.outcome != SettingsChange::Outcome::Changed) {
        const auto status = change.outcome == SettingsChange::Outcome::Fixed ? ControlResult::Status::Fixed
                                                                            : ControlResult::Status::Bad;
        return {status, change.error};
    }
    const std::string changed = ChangedOptions(m_current.link, change.settings);
    if (changed.empty())
        return {ControlResult::Status::Done, ""};
    if (!m_engine.Apply(change.settings, "Set " + changed + ".\r\n", at))
        return Failed();
    m_current.link.Settings() = change.settings;
    return {ControlResult::Status::Done, changed};
}

ControlResult LinkControl::Down(LinkDirection way, std::optional<double> seconds, std::optional<LinkTime> at)
{
    if (!m_engine.Live())
        return NotLive("down");
    const std::string what = std::string("Link down ") + DirectionName(way) +
                             (seconds ? " for " + Seconds(*seconds) + " s" : std::string(" until up"));
    if (!m_engine.Down(way, seconds, what + ".\r\n", at))
        return Failed();
    return {ControlResult::Status::Done, what};
}

ControlResult LinkControl::Up(std::optional<LinkTime> at)
{
    if (!m_engine.Live())
        return NotLive("up");
    if (!m_engine.Up("Link up.\r\n", at))
        return Failed();
    return {ControlResult::Status::Done, "Link up"};
}

void LinkControl::Modify(double lossPercent, std::int32_t delayMs)
{
    m_engine.Modify(lossPercent, delayMs);
    m_current.link.lossPercent = lossPercent;
    m_current.link.delayMs = delayMs;
}

std::string LinkControl::Show() const { return CommandLineOf(m_current); }
