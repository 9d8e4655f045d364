#include "bench/RoundTripRate.h"

#include <cstdio>
#include <vector>

#include "bench/Probe.h"
#include "bench/UdpEndpoint.h"

namespace {

struct RateSettings {
    Target target;
    std::size_t size = 64;
    std::uint32_t window = 1;
    std::uint64_t warmupNs = 0;
    std::uint64_t measureNs = 0;
    std::uint64_t timeoutNs = 0;
};

struct Outstanding {
    std::uint64_t sequence = 0;
    std::uint64_t sentNs = 0;
};

class WindowedProbe {
public:
    WindowedProbe(UdpEndpoint& socket, const RateSettings& settings)
        : m_socket(socket), m_settings(settings), m_slots(settings.window), m_buffer(65536, 0)
    {
        m_roundTripsNs.reserve(1 << 20);
    }

    void Run()
    {
        const std::uint64_t startNs = MonotonicNs();
        m_measureFromNs = startNs + m_settings.warmupNs;
        m_endNs = m_measureFromNs + m_settings.measureNs;
        for (std::uint32_t slot = 0; slot < m_settings.window; ++slot)
            SendFromSlot(slot, startNs);
        std::uint64_t lastScanNs = startNs;
        for (std::uint64_t now = startNs; now < m_endNs; now = MonotonicNs()) {
            if (m_socket.WaitReadable(WaitMs(now)))
                TakeReplies();
            now = MonotonicNs();
            if (now - lastScanNs >= 10000000) {
                ResendTimedOut(now);
                lastScanNs = now;
            }
        }
    }

    void Print() const
    {
        const double seconds = static_cast<double>(m_settings.measureNs) / 1e9;
        std::vector<std::int64_t> sorted = m_roundTripsNs;
        const double p50 = PercentileUs(sorted, 0.50);
        const double p99 = PercentileUs(sorted, 0.99);
        std::printf("rate size=%zu window=%u seconds=%.2f sent=%llu replies=%llu lost=%llu per_second=%.0f "
                    "rtt_p50_us=%.1f rtt_p99_us=%.1f\n",
                    m_settings.size, m_settings.window, seconds, static_cast<unsigned long long>(m_lastSequence),
                    m_replies, m_lost,
                    static_cast<double>(m_replies) / seconds, p50, p99);
    }

private:
    int WaitMs(std::uint64_t now) const
    {
        const std::uint64_t leftMs = (m_endNs - now) / 1000000 + 1;
        return static_cast<int>(leftMs < 10 ? leftMs : 10);
    }

    void SendFromSlot(std::uint32_t slot, std::uint64_t now)
    {
        m_slots[slot] = Outstanding{++m_lastSequence, now};
        WriteProbe(m_buffer.data(), slot, m_lastSequence, now);
        m_socket.Send(m_buffer.data(), m_settings.size);
    }

    void TakeReplies()
    {
        for (;;) {
            const ssize_t length = m_socket.Receive(m_buffer.data(), m_buffer.size());
            if (length < 0)
                return;
            const std::uint64_t now = MonotonicNs();
            ProbeHeader header;
            if (!ReadProbe(m_buffer.data(), length, header) || header.slot >= m_settings.window ||
                m_slots[header.slot].sequence != header.sequence)
                continue;  // foreign, or late after its slot moved on
            Count(now - m_slots[header.slot].sentNs, now);
            SendFromSlot(header.slot, now);
        }
    }

    void Count(std::uint64_t roundTripNs, std::uint64_t now)
    {
        if (now < m_measureFromNs || now >= m_endNs)
            return;
        ++m_replies;
        m_roundTripsNs.push_back(static_cast<std::int64_t>(roundTripNs));
    }

    void ResendTimedOut(std::uint64_t now)
    {
        for (std::uint32_t slot = 0; slot < m_settings.window; ++slot) {
            if (now - m_slots[slot].sentNs < m_settings.timeoutNs)
                continue;
            if (now >= m_measureFromNs)
                ++m_lost;
            SendFromSlot(slot, now);
        }
    }

    UdpEndpoint& m_socket;
    const RateSettings& m_settings;
    std::vector<Outstanding> m_slots;
    std::vector<unsigned char> m_buffer;
    std::vector<std::int64_t> m_roundTripsNs;
    std::uint64_t m_lastSequence = 0;
    std::uint64_t m_measureFromNs = 0;
    std::uint64_t m_endNs = 0;
    unsigned long long m_replies = 0;
    unsigned long long m_lost = 0;
};

std::uint64_t Nanoseconds(double seconds) { return static_cast<std::uint64_t>(seconds * 1e9); }

}  // namespace

int RunRoundTripRate(const LoadGenOptions& options)
{
    const auto target = options.TargetOf("target");
    const double size = options.Number("size", 64);
    const double window = options.Number("window", 1);
    if (!target || size < static_cast<double>(sizeof(ProbeHeader)) || size > 65000 || window < 1 || window > 4096) {
        std::fprintf(stderr, "rate: need --target ADDR:PORT, --size 32..65000, --window 1..4096\n");
        return 2;
    }
    RateSettings settings;
    settings.target = *target;
    settings.size = static_cast<std::size_t>(size);
    settings.window = static_cast<std::uint32_t>(window);
    settings.warmupNs = Nanoseconds(options.Number("warmup", 0.3));
    settings.measureNs = Nanoseconds(options.Number("seconds", 2.5));
    settings.timeoutNs = Nanoseconds(options.Number("timeout-ms", 200) / 1000.0);

    UdpEndpoint socket(LoopbackOf(!settings.target.IsV4()));
    if (!socket.IsOpen() || !socket.Connect(settings.target)) {
        std::fprintf(stderr, "rate: cannot open the client socket\n");
        return 1;
    }
    WindowedProbe probe(socket, settings);
    probe.Run();
    probe.Print();
    return 0;
}
