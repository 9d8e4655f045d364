#pragma once
#include "bench/LoadGenOptions.h"

// One-way measurements through a relay, with no echo: a paced sender and a
// time-stamping receiver in two processes, the receiver standing in for
// the server.
//
// pace --target A:P --rate N --seconds S [--size B]
//   Sends N datagrams a second for S seconds on a fixed schedule (late
//   sends catch up at once), each stamped with its sequence number and the
//   wall-clock time just before it is sent. Prints "pace sent=... ".
int RunPace(const LoadGenOptions& options);

// sink [--port P] [--seconds S] [--idle-ms I] [--delay-ms D] [--jitter-ms J] [--sequences FILE]
//        [--arrivals FILE]
//   Receives until S seconds have passed or, once something came, nothing
//   more for I ms. Each datagram's one-way time is the kernel's receive
//   stamp minus the sender's stamp (both wall clock, on one machine).
//   Prints "sink received=... " with the one-way time's percentiles, its
//   error against D, the Kolmogorov-Smirnov distance to uniform on
//   [D - J, D + J] when J is given, and the payload rate from the first
//   arrival to the last; FILE gets every sequence number received, one a
//   line, in order of arrival.
int RunSink(const LoadGenOptions& options);
