#pragma once
#include "bench/LoadGenOptions.h"

// delay --target A:P --delay-ms D [--seconds 2] [--gap-ms 3]
// Sends one datagram at a time through a relay that pauses D ms, waiting
// for each reply before the next, and measures the one-way time to the echo
// server (its arrival stamp minus the send stamp) less D. Prints one
// "delay ..." line with that error's p50, p99, the p99 of its size and how
// many were off by more than a millisecond.
int RunDelayAccuracy(const LoadGenOptions& options);
