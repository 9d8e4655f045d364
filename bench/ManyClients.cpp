#include "bench/ManyClients.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <poll.h>
#include <vector>

#include "bench/Probe.h"
#include "bench/UdpEndpoint.h"

namespace {

struct InFlight {
    std::uint64_t sequence = 0;
    std::uint64_t sentNs = 0;
};

class ManyClients {
public:
    ManyClients(const LoadGenOptions& options, const Target& target)
        : m_window(static_cast<std::uint32_t>(options.Number("window", 2))),
          m_size(static_cast<std::size_t>(options.Number("size", 64))),
          m_timeoutNs(static_cast<std::uint64_t>(options.Number("timeout-ms", 200) * 1e6)),
          m_buffer(65536, 0)
    {
        const auto count = static_cast<std::size_t>(options.Number("clients", 16));
        for (std::size_t c = 0; c < count; ++c) {
            m_clients.push_back(std::make_unique<UdpEndpoint>(LoopbackOf(!target.IsV4())));
            m_ok = m_ok && m_clients.back()->IsOpen() && m_clients.back()->Connect(target);
            m_waits.push_back(pollfd{m_clients.back()->Descriptor(), POLLIN, 0});
        }
        m_inFlight.resize(count * m_window);
        m_replies.resize(count);
    }

    bool IsReady() const { return m_ok && m_window >= 1 && m_size >= sizeof(ProbeHeader) && !m_clients.empty(); }

    void Run(std::uint64_t warmupNs, std::uint64_t measureNs, std::uint64_t drainNs)
    {
        const std::uint64_t startNs = MonotonicNs();
        m_measureFromNs = startNs + warmupNs;
        m_endNs = m_measureFromNs + measureNs;
        for (std::uint32_t slot = 0; slot < m_inFlight.size(); ++slot)
            Send(slot, startNs);
        std::uint64_t scannedNs = startNs;
        while (MonotonicNs() < m_endNs) {
            if (poll(m_waits.data(), m_waits.size(), 10) > 0)
                for (std::size_t c = 0; c < m_clients.size(); ++c)
                    if (m_waits[c].revents & POLLIN)
                        TakeReplies(c);
            const std::uint64_t now = MonotonicNs();
            if (now - scannedNs >= 10000000) {
                ResendTimedOut(now);
                scannedNs = now;
            }
        }
        // Late replies still count as received, though nothing more is sent.
        m_draining = true;
        for (const std::uint64_t endNs = m_endNs + drainNs; MonotonicNs() < endNs;)
            if (poll(m_waits.data(), m_waits.size(), 10) > 0)
                for (std::size_t c = 0; c < m_clients.size(); ++c)
                    if (m_waits[c].revents & POLLIN)
                        TakeReplies(c);
    }

    void Print(double seconds) const
    {
        const auto [fewest, most] = std::minmax_element(m_replies.begin(), m_replies.end());
        unsigned long long total = 0;
        for (unsigned long long replies : m_replies)
            total += replies;
        std::printf("clients clients=%zu window=%u size=%zu replies=%llu per_second=%.0f fewest=%llu most=%llu "
                    "foreign=%llu lost=%llu sent=%llu received=%llu\n",
                    m_clients.size(), m_window, m_size, total, static_cast<double>(total) / seconds, *fewest, *most,
                    m_foreign, m_lost, static_cast<unsigned long long>(m_lastSequence), m_received);
    }

private:
    void Send(std::uint32_t slot, std::uint64_t now)
    {
        if (m_draining)
            return;
        m_inFlight[slot] = InFlight{++m_lastSequence, now};
        WriteProbe(m_buffer.data(), slot, m_lastSequence, now);
        m_clients[slot / m_window]->Send(m_buffer.data(), m_size);
    }

    void TakeReplies(std::size_t client)
    {
        for (ssize_t length; (length = m_clients[client]->Receive(m_buffer.data(), m_buffer.size())) >= 0;) {
            ProbeHeader header;
            if (!ReadProbe(m_buffer.data(), length, header) || header.slot >= m_inFlight.size())
                continue;
            if (header.slot / m_window != client) {
                ++m_foreign;  // another client's reply
                continue;
            }
            ++m_received;
            if (m_inFlight[header.slot].sequence != header.sequence)
                continue;  // late, its slot moved on
            const std::uint64_t now = MonotonicNs();
            if (now >= m_measureFromNs && now < m_endNs)
                ++m_replies[client];
            Send(header.slot, now);
        }
    }

    void ResendTimedOut(std::uint64_t now)
    {
        for (std::uint32_t slot = 0; slot < m_inFlight.size(); ++slot) {
            if (now - m_inFlight[slot].sentNs < m_timeoutNs)
                continue;
            m_lost += now >= m_measureFromNs;
            Send(slot, now);
        }
    }

    std::uint32_t m_window;
    std::size_t m_size;
    std::uint64_t m_timeoutNs;
    std::vector<unsigned char> m_buffer;
    std::vector<std::unique_ptr<UdpEndpoint>> m_clients;
    std::vector<pollfd> m_waits;
    std::vector<InFlight> m_inFlight;  // client c's slots are c * window ... c * window + window - 1
    std::vector<unsigned long long> m_replies;
    bool m_ok = true;
    bool m_draining = false;
    unsigned long long m_received = 0;  // every reply to its own client, late ones too
    std::uint64_t m_lastSequence = 0;
    std::uint64_t m_measureFromNs = 0, m_endNs = 0;
    unsigned long long m_foreign = 0, m_lost = 0;
};

}  // namespace

int RunManyClients(const LoadGenOptions& options)
{
    const auto target = options.TargetOf("target");
    if (!target) {
        std::fprintf(stderr, "clients: need --target ADDR:PORT\n");
        return 2;
    }
    ManyClients clients(options, *target);
    if (!clients.IsReady()) {
        std::fprintf(stderr, "clients: cannot open the clients' sockets, or a bad --window or --size\n");
        return 1;
    }
    const double seconds = options.Number("seconds", 2.5);
    clients.Run(static_cast<std::uint64_t>(options.Number("warmup", 0.3) * 1e9), static_cast<std::uint64_t>(seconds * 1e9),
                static_cast<std::uint64_t>(options.Number("drain-ms", 0) * 1e6));
    clients.Print(seconds);
    return 0;
}
