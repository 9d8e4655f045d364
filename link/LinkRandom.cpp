#include "link/LinkRandom.h"

namespace {

constexpr std::uint64_t RotateLeft(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

std::uint64_t SplitMix64(std::uint64_t& state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

LinkRandom::LinkRandom(std::uint64_t seed)
{
    for (auto& word : m_state)
        word = SplitMix64(seed);
}

std::uint64_t LinkRandom::Next()
{
    const std::uint64_t result = RotateLeft(m_state[1] * 5, 7) * 9;
    const std::uint64_t t = m_state[1] << 17;
    m_state[2] ^= m_state[0];
    m_state[3] ^= m_state[1];
    m_state[1] ^= m_state[2];
    m_state[0] ^= m_state[3];
    m_state[2] ^= t;
    m_state[3] = RotateLeft(m_state[3], 45);
    return result;
}

LinkRandom LinkRandom::Stream(std::uint64_t seed, std::uint64_t index)
{
    std::uint64_t mixer = seed ^ (index * 0xD1B54A32D192ED03ull);
    return LinkRandom(SplitMix64(mixer));
}
