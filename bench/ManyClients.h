#pragma once
#include "bench/LoadGenOptions.h"

// clients --target A:P --clients N [--window W] [--size B] [--seconds S] [--warmup S] [--timeout-ms T]
//         [--drain-ms D]
// N clients, each a socket of its own, each keeping W datagrams in flight
// through the relay to the echo server, all from one thread; one that gets
// no reply within T ms is sent anew. A reply that reaches a client other
// than the one that sent it is counted as foreign. After S seconds it
// waits D ms more for late replies, sending nothing. Prints one "clients
// ..." line: replies a second in all, the fewest and most replies one
// client got, foreign and lost (timed out) replies, and every datagram
// sent and every reply received (late ones too).
int RunManyClients(const LoadGenOptions& options);
