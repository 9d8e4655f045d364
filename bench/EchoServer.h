#pragma once
#include "bench/LoadGenOptions.h"

// echo [--port P] [--seconds S]: replies to every datagram's sender with the
// same bytes, stamping the arrival time into measuring datagrams. Prints
// "echo port=<p>" once listening and stops by itself after S seconds.
int RunEchoServer(const LoadGenOptions& options);
