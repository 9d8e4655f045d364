// The ring between the engine's thread and the capture's writer: records
// come out whole and in the order they went in, across both of its rings,
// and a full ring refuses rather than waits.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <thread>
#include <vector>

#include "capture/CaptureRing.h"

namespace {

// Sizes that vary, so that records meet the rings' ends at every offset.
std::uint32_t SizeOf(std::uint64_t number) { return static_cast<std::uint32_t>(1 + number * 37 % 1499); }

bool PutNumbered(CaptureRing& ring, std::uint64_t number)
{
    std::vector<unsigned char> bytes(SizeOf(number), static_cast<unsigned char>(number));
    DatagramEvent event;
    event.number = number;
    event.bytes = bytes.data();
    event.size = SizeOf(number);
    return ring.Put(event);
}

// Takes what waits; each record must be the next expected, with its bytes.
void TakeExpected(CaptureRing& ring, std::deque<std::uint64_t>& expected)
{
    ring.TakeAll([&](const DatagramEvent& event, const unsigned char* bytes) {
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(event.number, expected.front());
        ASSERT_EQ(event.size, SizeOf(event.number));
        for (std::uint32_t i = 0; i < event.size; ++i)
            ASSERT_EQ(bytes[i], static_cast<unsigned char>(event.number)) << "record " << event.number;
        expected.pop_front();
    });
}

}  // namespace

TEST(CaptureRing, FillsBothRingsThenRefusesAndGivesAllBackInOrder)
{
    constexpr std::size_t kBytes = 3 * CaptureRing::kHotBytes;
    CaptureRing ring(kBytes);
    std::deque<std::uint64_t> expected;
    std::uint64_t putBytes = 0;
    for (std::uint64_t n = 1; PutNumbered(ring, n); ++n) {
        expected.push_back(n);
        putBytes += SizeOf(n);
    }
    EXPECT_GT(putBytes, kBytes * 8 / 10);  // both rings, nearly full
    EXPECT_FALSE(PutNumbered(ring, 1));  // a small one does not fit either
    TakeExpected(ring, expected);
    EXPECT_TRUE(expected.empty());
    EXPECT_TRUE(ring.Empty());
    EXPECT_TRUE(PutNumbered(ring, 1));
}

TEST(CaptureRing, AWriterThatFallsBehindAndCatchesUpGetsEveryRecordInOrder)
{
    // The taker pauses now and then, so that the putter moves to the large
    // ring and back many times, while both run.
    CaptureRing ring(4 * CaptureRing::kHotBytes);
    std::vector<std::uint64_t> put, taken;
    std::atomic<bool> done{false};
    std::thread taker([&] {
        for (int turn = 0; !done || !ring.Empty(); ++turn) {
            ring.TakeAll([&](const DatagramEvent& event, const unsigned char* bytes) {
                taken.push_back(event.number);
                const bool whole = event.size == SizeOf(event.number) &&
                                   std::all_of(bytes, bytes + event.size, [&](unsigned char b) {
                                       return b == static_cast<unsigned char>(event.number);
                                   });
                EXPECT_TRUE(whole) << "record " << event.number;
            });
            if (turn % 8 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    for (std::uint64_t n = 1; n <= 200'000; ++n)
        if (PutNumbered(ring, n))
            put.push_back(n);
    done = true;
    taker.join();
    EXPECT_FALSE(put.empty());
    EXPECT_EQ(taken, put);
}
