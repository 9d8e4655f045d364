#pragma once
#include "bench/LoadGenOptions.h"

// rate --target A:P [--size 64] [--window 1] [--seconds 2.5] [--warmup 0.3]
//      [--timeout-ms 200]
// Keeps WINDOW datagrams outstanding against the target for SECONDS and
// counts the replies that come back after the warm-up; one that has not
// come back within the timeout counts as lost and its slot sends afresh.
// Prints one "rate ..." line with round trips per second and the round-trip
// time's p50 and p99; "sent" counts every datagram, warm-up included.
int RunRoundTripRate(const LoadGenOptions& options);
