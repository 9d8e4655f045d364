#include "link/DatagramStore.h"

#include <bit>

int DatagramStore::SizeClass(std::size_t size)
{
    const std::size_t capacity = std::bit_ceil(size < kSmallest ? kSmallest : size);
    return std::countr_zero(capacity) - std::countr_zero(kSmallest);
}

std::size_t DatagramStore::CostOf(std::size_t size) { return (kSmallest << SizeClass(size)) + kBlockOverhead; }

void DatagramStore::ReleaseKept()
{
    for (auto& free : m_free)
        std::vector<Block>().swap(free);
    m_kept = 0;
}

DatagramStore::Block DatagramStore::Take(std::size_t size)
{
    const int sizeClass = SizeClass(size);
    auto& free = m_free[static_cast<std::size_t>(sizeClass)];
    Block block;
    if (!free.empty()) {
        block = std::move(free.back());
        free.pop_back();
        m_kept -= block.capacity;
    } else {
        block.capacity = static_cast<std::uint32_t>(kSmallest << sizeClass);
        block.bytes = std::make_unique_for_overwrite<unsigned char[]>(block.capacity);
    }
    m_inUse += block.capacity;
    ++m_blocksInUse;
    return block;
}

void DatagramStore::Give(Block block)
{
    if (!block.bytes)
        return;
    m_inUse -= block.capacity;
    --m_blocksInUse;
    auto& free = m_free[static_cast<std::size_t>(SizeClass(block.capacity))];
    if ((free.size() + 1) * block.capacity > kKeptBytesPerSize)
        return;  // enough kept of this size; this one goes back to the system
    m_kept += block.capacity;
    free.push_back(std::move(block));
}
