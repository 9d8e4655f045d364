#include "cli/StatsFormatter.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

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

namespace {

nlohmann::ordered_json Counters(const EngineStats& stats, nlohmann::ordered_json object)
{
    for (const NamedCounter& counter : stats)
        object[counter.name] = counter.value;
    return object;
}

}  // namespace

std::string StatsLine(double seconds, const EngineStats& stats)
{
    nlohmann::ordered_json object;
    object["seconds"] = std::round(seconds * 1000) / 1000;
    return Counters(stats, std::move(object)).dump() + "\n";
}

std::string StatsObject(const EngineStats& stats) { return Counters(stats, nlohmann::ordered_json::object()).dump(); }

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
