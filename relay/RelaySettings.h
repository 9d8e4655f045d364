#pragma once
// Start and Modify: a loss rate and a delay take effect for the worker, and
// the log says so with its three settings lines. The lines go in with one
// append, so a line the worker writes meanwhile lands before or after them,
// never among them.

#include <cstdint>

class LogHost;

void ApplyLossAndDelay(double lossRate, std::int32_t delayMs, LogHost& log);
