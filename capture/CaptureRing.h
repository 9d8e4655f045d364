#pragma once
// The events waiting for the capture's writer, one engine thread putting
// in, the writer's thread taking out. Each record is the event as told and
// a copy of its bytes; putting one in copies and publishes, without a lock
// or an allocation, and fails (rather than waits) when there is no room.
//
// The room is two rings of bytes allocated once: a small one used while
// the writer keeps up, so that records are written and read in memory the
// caches still hold, and a large one that takes what comes while the
// writer is held up. A mark in one ring tells the writer to go on in the
// other, so records are taken in the order they were put in.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "relay/DatagramObserver.h"

class CaptureRing {
public:
    // bytes: both rings together.
    explicit CaptureRing(std::size_t bytes);

    static constexpr std::size_t kHotBytes = std::size_t{1} << 20;

    // The putting thread. False, and nothing changed, when it does not fit.
    bool Put(const DatagramEvent& event);
    // Bytes put in and not yet taken out (records with their bookkeeping).
    std::size_t Waiting() const { return m_hot.Waiting() + m_cold.Waiting(); }
    bool Empty() const { return Waiting() == 0; }

    // The taking thread: gives each waiting record to take(event, bytes) in
    // the order they were put in, freeing its room once take returns.
    template <class Take>
    void TakeAll(Take&& take);

private:
    struct Header {
        std::uint32_t length;  // of the whole record, or a mark below
        std::uint32_t unused;
        DatagramEvent event;
    };
    // Marks, each in the 8 bytes a record's length starts: the rest of
    // the ring is skipped; the records go on in the other ring.
    static constexpr std::uint32_t kSkip = 0xFFFFFFFF;
    static constexpr std::uint32_t kOther = 0xFFFFFFFE;
    static constexpr std::size_t kMark = 8;

    // One ring: counts of bytes ever put in and taken out, their
    // difference what waits. A record never wraps around its end.
    class Lane {
    public:
        explicit Lane(std::size_t bytes);
        // Room is always kept for one more mark.
        bool Put(const Header& header, const unsigned char* bytes);
        void Mark(std::uint32_t mark);
        std::size_t Waiting() const;
        std::size_t Capacity() const { return m_capacity; }
        // The taking thread: the next record or mark, null when none waits.
        const unsigned char* Front();
        void Pop(std::size_t length);

    private:
        std::size_t m_capacity;
        std::unique_ptr<unsigned char[]> m_bytes;
        alignas(64) std::atomic<std::uint64_t> m_in{0};
        alignas(64) std::atomic<std::uint64_t> m_out{0};
        // The putting thread's own: the last m_out it read.
        alignas(64) std::uint64_t m_outSeen = 0;
    };

    Lane m_hot;
    Lane m_cold;
    Lane* m_putting = &m_hot;  // the putting thread's own
    Lane* m_taking = &m_hot;   // the taking thread's own
};

template <class Take>
void CaptureRing::TakeAll(Take&& take)
{
    while (const unsigned char* record = m_taking->Front()) {
        std::uint32_t length;
        std::memcpy(&length, record, sizeof length);
        if (length == kOther) {
            m_taking->Pop(kMark);
            m_taking = m_taking == &m_hot ? &m_cold : &m_hot;
            continue;
        }
        Header header;
        std::memcpy(&header, record, sizeof header);
        take(header.event, record + sizeof header);
        m_taking->Pop(length);
    }
}
