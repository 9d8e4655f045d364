#include "bench/OneWay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <linux/net_tstamp.h>
#include <sys/socket.h>
#include <vector>

#include "bench/Probe.h"
#include "bench/UdpEndpoint.h"

namespace {

std::uint64_t WallNs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000ull + static_cast<std::uint64_t>(now.tv_nsec);
}

void SleepUntilMonotonic(std::uint64_t ns)
{
    const timespec until{static_cast<time_t>(ns / 1000000000ull), static_cast<long>(ns % 1000000000ull)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
    }
}

struct Arrival {
    std::uint64_t sequence = 0;
    std::int64_t oneWayNs = 0;
    std::uint64_t arrivedNs = 0;  // kernel stamp, wall clock
    long bytes = 0;
};

// One datagram with the kernel's receive stamp; -1 when none is pending.
long ReceiveStamped(UdpEndpoint& socket, std::vector<unsigned char>& buffer, std::uint64_t& stampNs)
{
    iovec part{buffer.data(), buffer.size()};
    alignas(cmsghdr) unsigned char control[256];
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t length = recvmsg(socket.Descriptor(), &message, MSG_DONTWAIT);
    if (length < 0)
        return -1;
    stampNs = WallNs();  // if the kernel gave none
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            stampNs = static_cast<std::uint64_t>(stamp.tv_sec) * 1000000000ull + static_cast<std::uint64_t>(stamp.tv_nsec);
        }
    }
    return static_cast<long>(length);
}

// The largest distance between the samples' distribution and the uniform
// one on [low, high] (all in ns).
double KolmogorovSmirnovToUniform(std::vector<std::int64_t> samples, double low, double high)
{
    if (samples.empty() || high <= low)
        return 1;
    std::sort(samples.begin(), samples.end());
    const double n = static_cast<double>(samples.size());
    double distance = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double expected = std::clamp((static_cast<double>(samples[i]) - low) / (high - low), 0.0, 1.0);
        distance = std::max({distance, static_cast<double>(i + 1) / n - expected, expected - static_cast<double>(i) / n});
    }
    return distance;
}

void PrintArrivals(std::vector<Arrival>& arrivals, const LoadGenOptions& options)
{
    const double delayMs = options.Number("delay-ms", 0);
    const double jitterMs = options.Number("jitter-ms", -1);
    std::vector<std::int64_t> oneWayNs, errorNs, magnitudeNs;
    std::vector<std::uint64_t> sequences;
    long long bytes = 0;
    for (const Arrival& arrival : arrivals) {
        oneWayNs.push_back(arrival.oneWayNs);
        const auto error = arrival.oneWayNs - static_cast<std::int64_t>(delayMs * 1e6);
        errorNs.push_back(error);
        magnitudeNs.push_back(error < 0 ? -error : error);
        sequences.push_back(arrival.sequence);
        bytes += arrival.bytes;
    }
    std::sort(sequences.begin(), sequences.end());
    const auto unique = static_cast<std::size_t>(std::unique(sequences.begin(), sequences.end()) - sequences.begin());
    double kbitPerSecond = 0;
    if (arrivals.size() > 1) {
        const double seconds = static_cast<double>(arrivals.back().arrivedNs - arrivals.front().arrivedNs) / 1e9;
        kbitPerSecond = static_cast<double>(bytes - arrivals.front().bytes) * 8 / 1000 / seconds;
    }
    const double ks = jitterMs < 0 ? -1
                                   : KolmogorovSmirnovToUniform(oneWayNs, (delayMs - jitterMs) * 1e6,
                                                                (delayMs + jitterMs) * 1e6);
    std::vector<std::int64_t> inOrder = oneWayNs;
    std::printf("sink received=%zu unique=%zu oneway_p50_us=%.1f oneway_min_us=%.1f oneway_max_us=%.1f "
                "err_p50_us=%.1f err_p99_us=%.1f abs_err_p99_us=%.1f abs_err_max_us=%.1f ks=%.4f kbit_per_s=%.1f\n",
                arrivals.size(), unique, PercentileUs(inOrder, 0.5), PercentileUs(inOrder, 0), PercentileUs(inOrder, 1),
                PercentileUs(errorNs, 0.5), PercentileUs(errorNs, 0.99), PercentileUs(magnitudeNs, 0.99),
                PercentileUs(magnitudeNs, 1), ks, kbitPerSecond);
}

}  // namespace

int RunPace(const LoadGenOptions& options)
{
    const auto target = options.TargetOf("target");
    const double rate = options.Number("rate", 0);
    const double seconds = options.Number("seconds", 0);
    const double size = options.Number("size", 64);
    if (!target || rate <= 0 || seconds <= 0 || size < static_cast<double>(sizeof(ProbeHeader)) || size > 65000) {
        std::fprintf(stderr, "pace: need --target ADDR:PORT, --rate N, --seconds S, --size 32..65000\n");
        return 2;
    }
    UdpEndpoint socket(LoopbackOf(!target->IsV4()));
    if (!socket.IsOpen() || !socket.Connect(*target)) {
        std::fprintf(stderr, "pace: cannot open the client socket\n");
        return 1;
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size), 0);
    const auto total = static_cast<std::uint64_t>(rate * seconds);
    const double gapNs = 1e9 / rate;
    const std::uint64_t startNs = MonotonicNs();
    std::uint64_t failed = 0, latestNs = 0;
    for (std::uint64_t sequence = 0; sequence < total; ++sequence) {
        const std::uint64_t dueNs = startNs + static_cast<std::uint64_t>(static_cast<double>(sequence) * gapNs);
        if (MonotonicNs() < dueNs)
            SleepUntilMonotonic(dueNs);
        latestNs = std::max(latestNs, MonotonicNs() - dueNs);
        WriteProbe(bytes.data(), 0, sequence, WallNs());
        failed += !socket.Send(bytes.data(), bytes.size());
    }
    std::printf("pace sent=%llu failed=%llu seconds=%.3f size=%zu latest_us=%.1f\n",
                static_cast<unsigned long long>(total), static_cast<unsigned long long>(failed),
                static_cast<double>(MonotonicNs() - startNs) / 1e9, bytes.size(), static_cast<double>(latestNs) / 1e3);
    return 0;
}

int RunSink(const LoadGenOptions& options)
{
    const auto v6 = options.LoopbackV6();
    if (!v6) {
        std::fprintf(stderr, "sink: --address is 127.0.0.1 or ::1\n");
        return 2;
    }
    UdpEndpoint socket(LoopbackOf(*v6, static_cast<std::uint16_t>(options.Number("port", 0))));
    const int on = 1, bufferBytes = 4 << 20;
    if (!socket.IsOpen() ||
        setsockopt(socket.Descriptor(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0) {
        std::fprintf(stderr, "sink: cannot bind or stamp\n");
        return 1;
    }
    setsockopt(socket.Descriptor(), SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    std::printf("sink port=%u\n", socket.Port());
    std::fflush(stdout);

    const std::uint64_t endNs = MonotonicNs() + static_cast<std::uint64_t>(options.Number("seconds", 60) * 1e9);
    const auto idleNs = static_cast<std::uint64_t>(options.Number("idle-ms", 2000) * 1e6);
    std::vector<unsigned char> buffer(65536);
    std::vector<Arrival> arrivals;
    arrivals.reserve(1 << 20);
    std::uint64_t lastNs = 0;
    for (std::uint64_t now = MonotonicNs(); now < endNs && !(lastNs && now - lastNs > idleNs); now = MonotonicNs()) {
        if (!socket.WaitReadable(100))
            continue;
        std::uint64_t stampNs = 0;
        for (long length; (length = ReceiveStamped(socket, buffer, stampNs)) >= 0;) {
            ProbeHeader header;
            if (!ReadProbe(buffer.data(), length, header))
                continue;
            arrivals.push_back({header.sequence, static_cast<std::int64_t>(stampNs - header.sentNs), stampNs, length});
        }
        lastNs = MonotonicNs();
    }
    if (options.Has("sequences")) {
        if (std::FILE* file = std::fopen(options.Text("sequences").c_str(), "w")) {
            for (const Arrival& arrival : arrivals)
                std::fprintf(file, "%llu\n", static_cast<unsigned long long>(arrival.sequence));
            std::fclose(file);
        }
    }
    if (options.Has("arrivals")) {
        // One line a datagram: sequence, one-way ns, arrival (wall clock ns), bytes.
        if (std::FILE* file = std::fopen(options.Text("arrivals").c_str(), "w")) {
            for (const Arrival& arrival : arrivals)
                std::fprintf(file, "%llu %lld %llu %ld\n", static_cast<unsigned long long>(arrival.sequence),
                             static_cast<long long>(arrival.oneWayNs), static_cast<unsigned long long>(arrival.arrivedNs),
                             arrival.bytes);
            std::fclose(file);
        }
    }
    PrintArrivals(arrivals, options);
    return 0;
}
