#include "cli/ScenarioPlayer.h"

#include <cmath>

#include "cli/Command.h"
#include "cli/LinkControl.h"
#include "cli/OptionTable.h"
#include "cli/SettingsChange.h"
#include "framework/core/NumberText.h"

namespace {

// A ramp's options and the values they go to: "--delay 300 --jitter=20".
struct RampTargets {
    std::vector<std::pair<std::string, double>> targets;
    std::string error;
};

RampTargets ReadRampTargets(const std::vector<std::string>& words)
{
    RampTargets read;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const size_t equals = word.find('=');
        const OptionRule* rule = FindOption(std::string_view(word).substr(0, equals));
        std::string value = equals != std::string::npos ? word.substr(equals + 1)
                                                        : (i + 1 < words.size() ? words[++i] : std::string());
        const auto number = ParseDouble(std::wstring(CString::FromUtf8(value).View()));
        if (!rule || rule->form != ValueForm::Number || rule->time != OptionTime::Live || !number) {
            read.error = "expected a ramp of numeric settings, each with one number, like 'set --delay 300 over 5s'; "
                         "got '" + word + (equals == std::string::npos ? " " + value : std::string()) + "'";
            return read;
        }
        read.targets.emplace_back(std::string(rule->flag), *number);
    }
    return read;
}

// The value in force of a numeric option; nothing when it has none to
// start a ramp from (no rate limit, or one rate each way).
std::optional<double> ValueInForce(const std::string& flag, const LinkOptions& link)
{
    CliOptions options;
    options.link = link;
    const OptionRule* rule = FindOption(flag);
    const auto text = rule->write(options);
    if (!text) {
        if (flag == "--rate")
            return std::nullopt;
        return flag == "--queue" ? LinkSettings{}.queueLimit : 0;
    }
    return ParseDouble(std::wstring(CString::FromUtf8(*text).View()));
}

// How a ramp's value at `share` of the way is written: whole numbers stay whole.
std::string RampValue(double from, double to, double share)
{
    const double value = from + (to - from) * share;
    const bool whole = std::floor(from) == from && std::floor(to) == to;
    return NumberText(whole ? std::round(value) : value);
}

std::string CommandWord(const Command& command)
{
    switch (command.kind) {
    case Command::Kind::Set: return "set";
    case Command::Kind::Down: return "down";
    case Command::Kind::Up: return "up";
    default: return "modify";
    }
}

// What the step does to the settings as they stand, checked: nothing when it reads.
std::optional<std::string> CheckStep(const ScenarioStep& step, const CliOptions& options, LinkOptions& link)
{
    const CommandParse parse = ParseCommand(step.command);
    if (!parse.command)
        return parse.error;
    const Command& command = *parse.command;
    const bool known = command.kind == Command::Kind::Set || command.kind == Command::Kind::Down ||
                       command.kind == Command::Kind::Up || command.kind == Command::Kind::Modify;
    if (!known)
        return "expected set, down, up or modify (a scenario changes the link); got '" + step.command + "'";
    if (!options.linkEngine && command.kind != Command::Kind::Modify)
        return CommandWord(command) + ": the dialog's relay changes only by 'modify LOSS DELAY'; start dulvet with "
                                      "a link option (for example --pipeline) to run the link engine, which takes '" +
               CommandWord(command) + "'";
    if (step.over) {
        if (command.kind != Command::Kind::Set)
            return "expected 'over' after 'set' alone: a ramp moves numeric settings";
        const RampTargets ramp = ReadRampTargets(command.words);
        if (!ramp.error.empty())
            return ramp.error;
        for (const auto& [flag, to] : ramp.targets)
            if (!ValueInForce(flag, link))
                return "a ramp starts from the value in force, and " + flag +
                       " has no single one here: set it before the ramp";
    }
    if (command.kind == Command::Kind::Modify) {
        link.lossPercent = command.lossPercent;
        link.delayMs = command.delayMs;
    } else if (command.kind == Command::Kind::Set) {
        const SettingsChange change = ReadSettingsChange(command.words, link);
        if (change.outcome != SettingsChange::Outcome::Changed)
            return "set: " + change.error;
        link.Settings() = change.settings;
    }
    return std::nullopt;
}

}  // namespace

ScenarioParse ReadScenario(std::string_view text, const std::string& name, const CliOptions& options)
{
    LinkOptions link = options.link;  // as it stands at each step
    return ParseScenario(text, name, [&](const ScenarioStep& step) { return CheckStep(step, options, link); });
}

namespace {

// Whether the engine takes the step at its time: all but modify, which
// goes to the dialog's relay too and applies as it comes.
bool Timed(const ScenarioEvent& event)
{
    const CommandParse parse = ParseCommand(event.step->command);
    return !parse.command || parse.command->kind != Command::Kind::Modify;
}

}  // namespace

std::optional<LinkTime> ScenarioPlayer::WakeTime() const
{
    const auto next = m_timeline.Next();
    if (!next)
        return std::nullopt;
    return Timed(*next) ? next->at - kLead : next->at;
}

void ScenarioPlayer::Play(LinkTime now, LinkControl& control, const Say& log, const Say& problem)
{
    if (!m_announced) {
        m_announced = true;
        const size_t steps = m_scenario->steps.size();
        log("Scenario " + m_scenario->name + " started: " + std::to_string(steps) + (steps == 1 ? " step" : " steps") +
            (m_scenario->repeat ? ", repeating every " + ScenarioTimeText(m_scenario->Period()) : std::string()));
    }
    for (;;) {
        const auto next = m_timeline.Next();
        if (!next || next->at > (Timed(*next) ? now + kLead : now))
            break;
        const auto event = m_timeline.TakeDue(next->at);
        if (event->parts == 0)
            Step(*event, control, log, problem);
        else
            Ramp(*event, control, log, problem);
    }
}

void ScenarioPlayer::Step(const ScenarioEvent& event, LinkControl& control, const Say& log, const Say& problem)
{
    const ScenarioStep& step = *event.step;
    log("Scenario line " + std::to_string(step.line) + " at " + ScenarioTimeText(event.at - m_start) + ": " +
        step.command);
    const CommandParse parse = ParseCommand(step.command);  // it read when the file was checked
    if (!parse.command)
        return;
    const Command& command = *parse.command;
    ControlResult result;
    switch (command.kind) {
    case Command::Kind::Set: result = control.Set(command.words, event.at); break;
    case Command::Kind::Down: result = control.Down(command.way, command.seconds, event.at); break;
    case Command::Kind::Up: result = control.Up(event.at); break;
    case Command::Kind::Modify: control.Modify(command.lossPercent, command.delayMs); break;
    default: break;
    }
    if (!result.Ok())
        problem("scenario line " + std::to_string(step.line) + ": " + result.message);
}

void ScenarioPlayer::Ramp(const ScenarioEvent& event, LinkControl& control, const Say& log, const Say& problem)
{
    const ScenarioStep& step = *event.step;
    if (event.part == 0) {
        log("Scenario line " + std::to_string(step.line) + " at " + ScenarioTimeText(event.at - m_start) + ": " +
            step.command +
            " over " + ScenarioTimeText(*step.over));
        std::vector<Move>& moves = m_ramps[step.line];
        moves.clear();
        const RampTargets ramp = ReadRampTargets(ParseCommand(step.command).command->words);
        for (const auto& [flag, to] : ramp.targets) {
            // Changed meanwhile to a value a ramp cannot start from: it goes straight there.
            const double from = ValueInForce(flag, control.Current().link).value_or(to);
            moves.push_back({flag, from, to});
        }
        return;
    }
    std::vector<std::string> words;
    for (const Move& move : m_ramps[step.line]) {
        words.push_back(move.flag);
        words.push_back(RampValue(move.from, move.to, static_cast<double>(event.part) / event.parts));
    }
    if (event.part == event.parts)
        m_ramps.erase(step.line);
    const ControlResult result = control.Set(words, event.at);
    if (!result.Ok())
        problem("scenario line " + std::to_string(step.line) + ": " + result.message);
}
