#pragma once
// An engine's counters as text: a JSON object on one line for the periodic
// stats, and a sentence for the summary at the end. Both take whatever
// counters the engine reports, in its order.

#include <string>
#include <string_view>

#include "cli/Engine.h"

// {"seconds":12.345,"from_clients":10,...} and "\n".
std::string StatsLine(double seconds, const EngineStats& stats);
// The same object without "seconds" and the line end, for the control API.
std::string StatsObject(const EngineStats& stats);

// "dulvet: ended by quit after 12.3 s: 10 from clients, 7 to server, ..." and
// "\n"; counters that say so are left out while they are 0.
std::string SummaryLine(std::string_view reason, double seconds, const EngineStats& stats);
