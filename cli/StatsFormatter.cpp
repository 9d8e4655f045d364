#include "cli/StatsFormatter.h"

#include <cstdio>

namespace {

std::string Fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// "lost_replies" reads "lost replies".
std::string Words(std::string_view name)
{
    std::string words(name);
    for (char& c : words) {
        if (c == '_')
            c = ' ';
    }
    return words;
}

}  // namespace

std::string StatsLine(double seconds, const EngineStats& stats)
{
    // Counter names are plain lower-case words: nothing in them needs escaping.
    std::string line = "{\"seconds\":" + Fixed(seconds, 3);
    for (const NamedCounter& counter : stats)
        line.append(",\"").append(counter.name).append("\":").append(std::to_string(counter.value));
    return line + "}\n";
}

std::string SummaryLine(std::string_view reason, double seconds, const EngineStats& stats)
{
    std::string line = std::string("dulvet: ended by ").append(reason).append(" after ") + Fixed(seconds, 1) + " s";
    const char* separator = ": ";
    for (const NamedCounter& counter : stats) {
        if (counter.value == 0 && !counter.summedUpWhenZero)
            continue;
        line += separator + std::to_string(counter.value) + " " + Words(counter.name);
        separator = ", ";
    }
    return line + "\n";
}
