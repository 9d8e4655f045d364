#pragma once
// Storage for waiting datagrams, sized to each one: blocks in powers of two
// from 64 bytes up, so a datagram holds at most twice its size. Blocks that
// come back are kept for reuse (a bounded number per size), so a steady
// stream allocates nothing once it has warmed up.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class DatagramStore {
public:
    struct Block {
        std::unique_ptr<unsigned char[]> bytes;
        std::uint32_t capacity = 0;
    };

    Block Take(std::size_t size);
    void Give(Block block);

    // Bytes in blocks handed out and not yet given back.
    std::size_t BytesInUse() const { return m_inUse; }
    // Bytes in blocks kept for reuse.
    std::size_t BytesKept() const { return m_kept; }
    // What the blocks handed out cost the process: their bytes and the
    // allocator's own header of each.
    std::size_t CostInUse() const { return m_inUse + m_blocksInUse * kBlockOverhead; }
    // What a datagram of this size adds to CostInUse.
    static std::size_t CostOf(std::size_t size);
    // Gives every block kept for reuse back to the allocator (after a flood).
    void ReleaseKept();

    static constexpr std::size_t kSmallest = 64;
    static constexpr std::size_t kLargest = 65536;
    // What each size may keep for reuse.
    static constexpr std::size_t kKeptBytesPerSize = 1 << 20;
    // The allocator's header and rounding per block (glibc: 16 bytes).
    static constexpr std::size_t kBlockOverhead = 16;

private:
    static int SizeClass(std::size_t size);

    std::array<std::vector<Block>, 11> m_free;
    std::size_t m_inUse = 0;
    std::size_t m_blocksInUse = 0;
    std::size_t m_kept = 0;
};
