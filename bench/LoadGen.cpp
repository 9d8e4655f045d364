// The load generator for relay measurements, on 127.0.0.1 or ::1 only
// (ADDR:PORT is A.B.C.D:PORT or [IPv6]:PORT; --address 127.0.0.1, the
// default, or ::1):
//
//   dulvet_loadgen echo  [--address A] [--port P] [--seconds S]
//   dulvet_loadgen rate  --target A:P [--size B] [--window W] [--seconds S] [--warmup S] [--timeout-ms T]
//   dulvet_loadgen delay --target A:P --delay-ms D [--seconds S] [--gap-ms G]
//   dulvet_loadgen pace  --target A:P --rate N --seconds S [--size B]
//   dulvet_loadgen sink  [--address A] [--port P] [--seconds S] [--idle-ms I] [--delay-ms D] [--jitter-ms J] [--sequences FILE] [--arrivals FILE]
//   dulvet_loadgen clients --target A:P --clients N [--window W] [--size B] [--seconds S] [--warmup S]
//                          [--timeout-ms T] [--drain-ms D]
//   dulvet_loadgen freeport [--address A]
//   dulvet_loadgen busy  [--seconds S]
//
// The target is the relay, or the echo server itself for the direct path.
// Each mode prints machine-readable "name key=value ..." lines. "busy" is
// the busy program beside the relay: it keeps one processor busy, asking
// nothing of the system, for S seconds (default 60).

#include <cstdio>
#include <string>

#include "bench/Probe.h"

#include "bench/DelayAccuracy.h"
#include "bench/EchoServer.h"
#include "bench/LoadGenOptions.h"
#include "bench/ManyClients.h"
#include "bench/OneWay.h"
#include "bench/RoundTripRate.h"
#include "bench/UdpEndpoint.h"

namespace {

// A port free right now on 127.0.0.1 (or ::1), for a peer that needs one named.
int PrintFreePort(const LoadGenOptions& options)
{
    const auto v6 = options.LoopbackV6();
    if (!v6)
        return 2;
    UdpEndpoint probe(LoopbackOf(*v6));
    if (!probe.IsOpen())
        return 1;
    std::printf("%u\n", probe.Port());
    return 0;
}

// A loop that never waits, as a game's or a test harness's might.
int KeepBusy(const LoadGenOptions& options)
{
    const std::uint64_t endNs = MonotonicNs() + static_cast<std::uint64_t>(options.Number("seconds", 60) * 1e9);
    volatile std::uint64_t turns = 0;
    while (MonotonicNs() < endNs)
        turns = turns + 1;
    return 0;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: dulvet_loadgen echo|rate|delay|pace|sink|clients|freeport|busy [--name value]...\n"
                 "  echo  [--address A] [--port P] [--seconds S]\n"
                 "  rate  --target ADDR:P [--size B] [--window W] [--seconds S] [--warmup S] [--timeout-ms T]\n"
                 "  delay --target ADDR:P --delay-ms D [--seconds S] [--gap-ms G]\n"
                 "  pace  --target ADDR:P --rate N --seconds S [--size B]\n"
                 "  sink  [--address A] [--port P] [--seconds S] [--idle-ms I] [--delay-ms D] [--jitter-ms J] [--sequences FILE] [--arrivals FILE]\n"
                 "  clients --target ADDR:P --clients N [--window W] [--size B] [--seconds S] [--warmup S]\n"
                 "          [--timeout-ms T] [--drain-ms D]\n"
                 "  freeport [--address A]\n"
                 "  busy  [--seconds S]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    const auto options = LoadGenOptions::Parse(argc, argv);
    if (!options)
        return Usage();
    const std::string& mode = options->Mode();
    if (mode == "echo")
        return RunEchoServer(*options);
    if (mode == "rate")
        return RunRoundTripRate(*options);
    if (mode == "delay")
        return RunDelayAccuracy(*options);
    if (mode == "pace")
        return RunPace(*options);
    if (mode == "sink")
        return RunSink(*options);
    if (mode == "clients")
        return RunManyClients(*options);
    if (mode == "freeport")
        return PrintFreePort(*options);
    if (mode == "busy")
        return KeepBusy(*options);
    return Usage();
}
