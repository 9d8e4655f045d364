#pragma once
#include <cstdint>

// The drop period for a loss rate in percent: 0 drops nothing; N >= 2
// forwards N - 1 client datagrams and drops the N-th; 1 or any negative
// value drops every one.
std::int32_t MissCountFromLossRate(double rate);
