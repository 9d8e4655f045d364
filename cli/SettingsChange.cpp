#include "cli/SettingsChange.h"

#include <span>

#include "cli/OptionTable.h"
#include "cli/ShownText.h"

namespace {

SettingsChange Refused(SettingsChange::Outcome outcome, std::string error)
{
    SettingsChange change;
    change.outcome = outcome;
    change.error = std::move(error);
    return change;
}

// "--flag" or "--flag VALUE" as the command line writes it; nothing at the default.
std::optional<std::string> WrittenFlag(const OptionRule& rule, const CliOptions& options)
{
    const auto value = rule.write(options);
    if (!value)
        return std::nullopt;
    std::string text(rule.flag);
    if (!rule.IsSwitch())
        text += " " + *value;
    return text;
}

}  // namespace

SettingsChange ReadSettingsChange(const std::vector<std::string>& words, const LinkOptions& current)
{
    using Outcome = SettingsChange::Outcome;
    if (words.empty())
        return Refused(Outcome::Bad, "expected an option and its value, like 'set --jitter 20 --random-loss 5'");
    const std::span<const OptionRule> table = OptionTable();
    std::vector<bool> given(table.size());
    std::vector<bool> valued(table.size());  // given, and not switched off
    CliOptions scratch;
    scratch.link = current;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (!word.starts_with("--"))
            return Refused(Outcome::Bad, "unexpected argument " + Quoted(word));
        const size_t equals = word.find('=');
        const OptionRule* rule = FindOption(word.substr(0, equals));
        if (!rule)
            return Refused(Outcome::Bad, "unknown option " + Quoted(word.substr(0, equals)));
        const std::string flag(rule->flag);
        if (rule->time == OptionTime::AtStart)
            return Refused(Outcome::Fixed, flag + " is fixed at start; it cannot change while dulvet runs");
        const auto index = static_cast<size_t>(rule - table.data());
        if (given[index])
            return Refused(Outcome::Bad, flag + " is given twice");
        given[index] = true;
        std::string value;
        if (equals != std::string_view::npos)
            value = word.substr(equals + 1);
        else if (i + 1 < words.size() && (!rule->IsSwitch() || words[i + 1] == "off"))
            value = words[++i];
        else if (!rule->IsSwitch())
            return Refused(Outcome::Bad, flag + " needs a value: " + flag + " " + std::string(rule->valueName));
        if (value == "off" && rule->switchOff) {
            rule->switchOff(scratch.link);
            continue;
        }
        valued[index] = true;
        if (rule->IsSwitch() && !value.empty())
            return Refused(Outcome::Bad, flag + " takes no value but off");
        if (const OptionProblem problem = rule->read(scratch, CString::FromUtf8(value).View()))
            return Refused(Outcome::Bad, flag + " " + *problem);
    }
    const auto wasGiven = [&](std::string_view flag) {
        const OptionRule* rule = FindOption(flag);
        return rule && valued[static_cast<size_t>(rule - table.data())];
    };
    if (const OptionProblem problem = CheckTogether(scratch.link, wasGiven))
        return Refused(Outcome::Bad, *problem);
    SettingsChange change;
    change.outcome = Outcome::Changed;
    change.settings = scratch.link.Settings();
    return change;
}

std::string ChangedOptions(const LinkOptions& before, const LinkSettings& after)
{
    CliOptions old, now;
    old.link = before;
    now.link = before;
    now.link.Settings() = after;
    std::string text;
    for (const OptionRule& rule : OptionTable()) {
        if (rule.time != OptionTime::Live)
            continue;
        const auto was = rule.write(old);
        const auto is = rule.write(now);
        if (was == is)
            continue;
        if (!text.empty())
            text += " ";
        text += std::string(rule.flag);
        if (!is)
            text += " off";
        else if (!rule.IsSwitch())
            text += " " + *is;
    }
    return text;
}

std::string CommandLineOf(const CliOptions& options)
{
    std::string line = "dulvet";
    for (const OptionRule& rule : OptionTable())
        if (const auto text = WrittenFlag(rule, options))
            line += " " + *text;
    return line;
}
