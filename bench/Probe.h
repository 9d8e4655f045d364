#pragma once
// The header every measuring datagram starts with: which window slot and
// sequence number it carries, when the client sent it and when the echo
// server's kernel took it in (CLOCK_MONOTONIC, shared by both on one machine).

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

inline constexpr std::uint32_t kProbeMagic = 0x44564c54;  // "DVLT"

struct ProbeHeader {
    std::uint32_t magic = kProbeMagic;
    std::uint32_t slot = 0;
    std::uint64_t sequence = 0;
    std::uint64_t sentNs = 0;
    std::uint64_t arrivedNs = 0;
};

inline std::uint64_t MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000ull + static_cast<std::uint64_t>(now.tv_nsec);
}

inline void WriteProbe(unsigned char* bytes, const ProbeHeader& header)
{
    std::memcpy(bytes, &header, sizeof header);
}

// A new probe for the slot with its sequence number and send time.
inline void WriteProbe(unsigned char* bytes, std::uint32_t slot, std::uint64_t sequence, std::uint64_t sentNs)
{
    ProbeHeader header;
    header.slot = slot;
    header.sequence = sequence;
    header.sentNs = sentNs;
    WriteProbe(bytes, header);
}

// False for anything too short or without the magic number.
inline bool ReadProbe(const unsigned char* bytes, long length, ProbeHeader& header)
{
    if (length < static_cast<long>(sizeof header))
        return false;
    std::memcpy(&header, bytes, sizeof header);
    return header.magic == kProbeMagic;
}

// The nearest-rank percentile (fraction 0..1) in microseconds; sorts the samples.
inline double PercentileUs(std::vector<std::int64_t>& samplesNs, double fraction)
{
    if (samplesNs.empty())
        return 0;
    std::sort(samplesNs.begin(), samplesNs.end());
    const auto rank = static_cast<std::size_t>(fraction * static_cast<double>(samplesNs.size() - 1) + 0.5);
    return static_cast<double>(samplesNs[std::min(rank, samplesNs.size() - 1)]) / 1000.0;
}
