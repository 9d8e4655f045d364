#include "capture/CaptureRing.h"

#include <algorithm>
#include <type_traits>

static_assert(std::is_trivially_copyable_v<DatagramEvent>, "events are copied into the ring as bytes");

namespace {

constexpr std::size_t RoundUp(std::size_t value, std::size_t step) { return (value + step - 1) / step * step; }

}  // namespace

CaptureRing::Lane::Lane(std::size_t bytes)
    : m_capacity(RoundUp(std::max(bytes, 2 * sizeof(Header)), kMark)), m_bytes(new unsigned char[m_capacity])
{
}

std::size_t CaptureRing::Lane::Waiting() const
{
    // Sequentially consistent, like the publication in Put: see CaptureWriter::Wait.
    return static_cast<std::size_t>(m_in.load(std::memory_order_seq_cst) - m_out.load(std::memory_order_seq_cst));
}

bool CaptureRing::Lane::Put(const Header& header, const unsigned char* bytes)
{
    const std::size_t length = header.length;
    const std::uint64_t in = m_in.load(std::memory_order_relaxed);
    const std::size_t at = static_cast<std::size_t>(in % m_capacity);
    // When it does not fit before the end, the rest is skipped and it
    // starts again at the beginning.
    const std::size_t skip = m_capacity - at < length ? m_capacity - at : 0;
    const auto fits = [&] { return in + skip + length + kMark - m_outSeen <= m_capacity; };
    if (!fits()) {
        m_outSeen = m_out.load(std::memory_order_acquire);
        if (!fits())
            return false;
    }
    if (skip)
        std::memcpy(m_bytes.get() + at, &kSkip, sizeof kSkip);
    unsigned char* record = m_bytes.get() + (skip ? 0 : at);
    std::memcpy(record, &header, sizeof header);
    if (header.event.size)
        std::memcpy(record + sizeof header, bytes, header.event.size);
    // Sequentially consistent: a writer that said it sleeps either sees this
    // record or is seen asleep by the one who put it (CaptureWriter).
    m_in.store(in + skip + length, std::memory_order_seq_cst);
    return true;
}

void CaptureRing::Lane::Mark(std::uint32_t mark)
{
    // Put kept the room for it; marks are as aligned as records.
    const std::uint64_t in = m_in.load(std::memory_order_relaxed);
    std::memcpy(m_bytes.get() + in % m_capacity, &mark, sizeof mark);
    m_in.store(in + kMark, std::memory_order_seq_cst);
}

const unsigned char* CaptureRing::Lane::Front()
{
    const std::uint64_t in = m_in.load(std::memory_order_acquire);
    std::uint64_t out = m_out.load(std::memory_order_relaxed);
    if (out == in)
        return nullptr;
    std::size_t at = static_cast<std::size_t>(out % m_capacity);
    std::uint32_t length;
    std::memcpy(&length, m_bytes.get() + at, sizeof length);
    if (length == kSkip) {
        out += m_capacity - at;
        m_out.store(out, std::memory_order_release);
        at = 0;
    }
    return m_bytes.get() + at;
}

void CaptureRing::Lane::Pop(std::size_t length)
{
    m_out.store(m_out.load(std::memory_order_relaxed) + length, std::memory_order_release);
}

CaptureRing::CaptureRing(std::size_t bytes)
    : m_hot(std::min(bytes / 2, kHotBytes)), m_cold(bytes - std::min(bytes / 2, kHotBytes))
{
}

bool CaptureRing::Put(const DatagramEvent& event)
{
    Header header{static_cast<std::uint32_t>(RoundUp(sizeof(Header) + event.size, kMark)), 0, event};
    header.event.bytes = nullptr;
    // Back in the small ring once the writer has taken half of it; the
    // mark sends the writer there after what waits in the large one.
    if (m_putting == &m_cold && m_hot.Waiting() <= m_hot.Capacity() / 2 && m_hot.Put(header, event.bytes)) {
        m_cold.Mark(kOther);
        m_putting = &m_hot;
        return true;
    }
    if (m_putting->Put(header, event.bytes))
        return true;
    if (m_putting == &m_cold)
        return false;
    // The writer is held up: on in the large ring, after what waits there.
    if (!m_cold.Put(header, event.bytes))
        return false;
    // The writer goes there once it reaches this mark, after all the small ring holds.
    m_hot.Mark(kOther);
    m_putting = &m_cold;
    return true;
}
