#pragma once
// The link engine's own random numbers: xoshiro256** seeded through
// splitmix64, with our own mapping to [0, 1). Standard library
// distributions differ between implementations; this gives the same
// numbers from the same seed on every platform and compiler.

#include <cstdint>

class LinkRandom {
public:
    explicit LinkRandom(std::uint64_t seed);

    std::uint64_t Next();
    // Uniform in [0, 1): the top 53 bits, exactly representable.
    double NextUnit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    // True with the given probability in percent (0 never, 100 always).
    bool Chance(double percent) { return NextUnit() * 100.0 < percent; }

    // An independent stream for one use of one seed: the same seed and the
    // same index always give the same stream.
    static LinkRandom Stream(std::uint64_t seed, std::uint64_t index);

private:
    std::uint64_t m_state[4];
};

// One step of splitmix64: spreads a seed's bits.
std::uint64_t SplitMix64(std::uint64_t& state);
