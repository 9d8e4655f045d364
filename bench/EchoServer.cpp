#include "bench/EchoServer.h"

#include <cstdio>
#include <vector>

#include "bench/Probe.h"
#include "bench/UdpEndpoint.h"

namespace {

// Answers every pending datagram; returns how many.
unsigned long long EchoPending(UdpEndpoint& socket, std::vector<unsigned char>& buffer)
{
    unsigned long long echoed = 0;
    Peer from;
    for (;;) {
        from.length = sizeof from.address;
        std::uint64_t arrivedNs = 0;
        const ssize_t length = socket.ReceiveFromStamped(buffer.data(), buffer.size(), from, arrivedNs);
        if (length < 0)
            return echoed;
        ProbeHeader header;
        if (ReadProbe(buffer.data(), length, header)) {
            header.arrivedNs = arrivedNs;
            WriteProbe(buffer.data(), header);
        }
        socket.SendTo(buffer.data(), static_cast<std::size_t>(length), from);
        ++echoed;
    }
}

}  // namespace

int RunEchoServer(const LoadGenOptions& options)
{
    const auto v6 = options.LoopbackV6();
    if (!v6) {
        std::fprintf(stderr, "echo: --address is 127.0.0.1 or ::1\n");
        return 2;
    }
    UdpEndpoint socket(LoopbackOf(*v6, static_cast<std::uint16_t>(options.Number("port", 0))));
    if (!socket.IsOpen()) {
        std::fprintf(stderr, "echo: cannot bind\n");
        return 1;
    }
    std::printf("echo port=%u\n", socket.Port());
    std::fflush(stdout);

    std::vector<unsigned char> buffer(65536);
    const std::uint64_t endNs = MonotonicNs() + static_cast<std::uint64_t>(options.Number("seconds", 120) * 1e9);
    unsigned long long echoed = 0;
    for (std::uint64_t now = MonotonicNs(); now < endNs; now = MonotonicNs()) {
        const auto leftMs = static_cast<int>((endNs - now) / 1000000) + 1;
        if (socket.WaitReadable(leftMs < 100 ? leftMs : 100))
            echoed += EchoPending(socket, buffer);
    }
    std::printf("echo done echoed=%llu\n", echoed);
    return 0;
}
