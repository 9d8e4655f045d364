#include "bench/DelayAccuracy.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

#include "bench/Probe.h"
#include "bench/UdpEndpoint.h"

namespace {

// The one-way time of one datagram in ns, or nothing if no reply came.
std::optional<std::int64_t> OneWay(UdpEndpoint& socket, std::uint64_t sequence, std::uint64_t waitNs)
{
    unsigned char bytes[64] = {};
    ProbeHeader header;
    header.sequence = sequence;
    header.sentNs = MonotonicNs();
    WriteProbe(bytes, header);
    socket.Send(bytes, sizeof bytes);
    const std::uint64_t giveUpNs = header.sentNs + waitNs;
    for (std::uint64_t now = MonotonicNs(); now < giveUpNs; now = MonotonicNs()) {
        if (!socket.WaitReadable(static_cast<int>((giveUpNs - now) / 1000000) + 1))
            continue;
        ProbeHeader reply;
        while (const ssize_t length = socket.Receive(bytes, sizeof bytes)) {
            if (length < 0)
                break;
            if (ReadProbe(bytes, length, reply) && reply.sequence == sequence)
                return static_cast<std::int64_t>(reply.arrivedNs - reply.sentNs);
        }
    }
    return std::nullopt;
}

std::int64_t Magnitude(std::int64_t value) { return value < 0 ? -value : value; }

}  // namespace

int RunDelayAccuracy(const LoadGenOptions& options)
{
    const auto target = options.TargetOf("target");
    const double delayMs = options.Number("delay-ms", -1);
    if (!target || delayMs < 0) {
        std::fprintf(stderr, "delay: need --target ADDR:PORT and --delay-ms D\n");
        return 2;
    }
    UdpEndpoint socket(LoopbackOf(!target->IsV4()));
    if (!socket.IsOpen() || !socket.Connect(*target)) {
        std::fprintf(stderr, "delay: cannot open the client socket\n");
        return 1;
    }
    const auto delayNs = static_cast<std::int64_t>(delayMs * 1e6);
    const auto waitNs = static_cast<std::uint64_t>(delayNs) + 500000000ull;
    const auto gap = std::chrono::microseconds(static_cast<long>(options.Number("gap-ms", 3) * 1000));
    const std::uint64_t endNs = MonotonicNs() + static_cast<std::uint64_t>(options.Number("seconds", 2) * 1e9);

    OneWay(socket, 0, waitNs);  // the first one teaches the relay its client
    std::vector<std::int64_t> errorsNs;
    std::vector<std::int64_t> magnitudesNs;
    unsigned long long lost = 0;
    for (std::uint64_t sequence = 1; MonotonicNs() < endNs; ++sequence) {
        std::this_thread::sleep_for(gap);
        if (const auto oneWay = OneWay(socket, sequence, waitNs)) {
            errorsNs.push_back(*oneWay - delayNs);
            magnitudesNs.push_back(Magnitude(*oneWay - delayNs));
        } else {
            ++lost;
        }
    }
    const std::size_t samples = errorsNs.size();
    const auto late = std::count_if(magnitudesNs.begin(), magnitudesNs.end(), [](std::int64_t ns) { return ns > 1000000; });
    const double p50 = PercentileUs(errorsNs, 0.50);
    const double p99 = PercentileUs(errorsNs, 0.99);
    const double magnitudeP99 = PercentileUs(magnitudesNs, 0.99);
    const double magnitudeMax = PercentileUs(magnitudesNs, 1.0);
    std::printf("delay delay_ms=%.0f samples=%zu lost=%llu err_p50_us=%.1f err_p99_us=%.1f abs_err_p99_us=%.1f "
                "abs_err_max_us=%.1f over_1ms=%td\n",
                delayMs, samples, lost, p50, p99, magnitudeP99, magnitudeMax, late);
    return 0;
}
