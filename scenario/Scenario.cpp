#include "scenario/Scenario.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

using std::chrono::nanoseconds;

// Longer than any test runs, short enough that the sums never overflow.
constexpr double kLongestSeconds = 1e8;

std::string_view Trimmed(std::string_view text)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Up to a "#" that begins a word.
std::string_view WithoutComment(std::string_view line)
{
    for (size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t'))
            return line.substr(0, i);
    return line;
}

std::string_view FirstWord(std::string_view text)
{
    const size_t end = text.find_first_of(" \t");
    return text.substr(0, end);
}

// The printable text of a word for a message, at most 60 characters.
std::string Shown(std::string_view text)
{
    std::string shown;
    for (const char c : text.substr(0, 60))
        shown += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    return text.size() > 60 ? shown + "..." : shown;
}

}  // namespace

std::optional<nanoseconds> ParseScenarioTime(std::string_view text)
{
    double scale = 0;
    if (text.ends_with("ms")) {
        scale = 1e-3;
        text.remove_suffix(2);
    } else if (text.ends_with("s")) {
        scale = 1;
        text.remove_suffix(1);
    } else {
        return std::nullopt;
    }
    // Digits with at most one point, as "1.5" or "250".
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos ||
        text.find('.') != text.rfind('.') || text == ".")
        return std::nullopt;
    const double seconds = std::strtod(std::string(text).c_str(), nullptr) * scale;
    if (!(seconds <= kLongestSeconds))
        return std::nullopt;
    return nanoseconds(std::llround(seconds * 1e9));
}

std::string ScenarioTimeText(nanoseconds time)
{
    char text[40];
    if (time.count() % 1'000'000'000 != 0 && time < std::chrono::seconds(1))
        std::snprintf(text, sizeof text, "%gms", static_cast<double>(time.count()) / 1e6);
    else
        std::snprintf(text, sizeof text, "%.10gs", static_cast<double>(time.count()) / 1e9);
    return text;
}

ScenarioParse ParseScenario(std::string_view text, const std::string& name, const ScenarioCheck& check)
{
    auto scenario = std::make_shared<Scenario>();
    scenario->name = name;
    const auto fail = [&](int line, const std::string& what) {
        return ScenarioParse{nullptr, name + ":" + std::to_string(line) + ": " + what};
    };
    nanoseconds previous{0};
    int repeatLine = 0;
    int number = 0;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = Trimmed(WithoutComment(text.substr(start, end - start)));
        start = end + 1;
        ++number;
        if (line.empty())
            continue;
        if (repeatLine)
            return fail(number, "expected nothing after 'repeat' (line " + std::to_string(repeatLine) +
                                    "), which must be the last line; got '" + Shown(line) + "'");
        if (line == "repeat") {
            if (scenario->steps.empty() || scenario->Period() <= nanoseconds(0))
                return fail(number, "expected 'repeat' after a step later than 0s: the scenario starts over "
                                    "from the time of the step before it");
            repeatLine = number;
            continue;
        }
        const std::string_view timeWord = FirstWord(line);
        const bool relative = timeWord.starts_with('+');
        const auto time = ParseScenarioTime(relative ? timeWord.substr(1) : timeWord);
        if (!time)
            return fail(number, "expected a time like 0s, 1.5s, 250ms or +5s, then a command; got '" +
                                    Shown(timeWord) + "'");
        ScenarioStep step;
        step.line = number;
        step.at = relative ? previous + *time : *time;
        if (step.at < previous)
            return fail(number, "expected a time of at least " + ScenarioTimeText(previous) +
                                    " (the step before it), or one counted from it like +5s; got '" +
                                    Shown(timeWord) + "'");
        if (step.at > std::chrono::seconds(static_cast<long long>(kLongestSeconds)))
            return fail(number, "expected a time within " + ScenarioTimeText(std::chrono::seconds(
                                    static_cast<long long>(kLongestSeconds))) + "; got '" + Shown(timeWord) + "'");
        std::string_view command = Trimmed(line.substr(timeWord.size()));
        // "... over 5s" at the end: a ramp.
        const size_t lastBlank = command.find_last_of(" \t");
        if (lastBlank != std::string_view::npos) {
            const std::string_view head = Trimmed(command.substr(0, lastBlank));
            const size_t overBlank = head.find_last_of(" \t");
            const std::string_view overWord = overBlank == std::string_view::npos ? head : head.substr(overBlank + 1);
            if (overWord == "over") {
                const std::string_view length = command.substr(lastBlank + 1);
                step.over = ParseScenarioTime(length);
                if (!step.over || *step.over <= nanoseconds(0))
                    return fail(number, "expected a ramp's length after 'over', more than 0 like 5s or 500ms; got '" +
                                            Shown(length) + "'");
                command = Trimmed(head.substr(0, overBlank == std::string_view::npos ? 0 : overBlank));
            }
        }
        if (command.empty())
            return fail(number, "expected a command after the time, like '" + std::string(timeWord) +
                                    " set --delay 100'");
        step.command = std::string(command);
        if (const auto problem = check(step))
            return fail(number, *problem);
        previous = step.at;
        scenario->steps.push_back(std::move(step));
    }
    if (scenario->steps.empty())
        return fail(number, "expected at least one step, like '0s set --delay 100'");
    scenario->repeat = repeatLine != 0;
    return ScenarioParse{std::move(scenario), {}};
}
