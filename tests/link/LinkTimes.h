#pragma once
// Moments on a link's clock, written in milliseconds or microseconds.

#include <cmath>
#include <cstdint>

#include "link/Impairment.h"

inline LinkTime Ms(double ms) { return LinkTime(static_cast<std::int64_t>(std::llround(ms * 1e6))); }
inline LinkTime Us(double us) { return LinkTime(static_cast<std::int64_t>(std::llround(us * 1e3))); }
