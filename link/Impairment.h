#pragma once
// What happens to the datagrams of one direction, decided without sockets
// or clocks: given when a datagram arrived and its size, its fate: dropped
// (and why), or when it leaves, and whether it leaves twice. A datagram
// meets the rules in this order, and the first one that drops it ends its
// way:
//   1. periodic loss (the dialog's drop period and counter)
//   2. burst loss (two states: a chance to enter a burst, a chance to leave it)
//   3. random loss
//   4. rate limit or rate trace with its queue (a full queue drops the newcomer)
//   5. reorder (skips the delay, overtaking those waiting)
//   6. delay and jitter, the jitter in its shape (serial without --pipeline:
//      one after the other)
//   7. keep order (never before one that arrived earlier)
//   8. duplicate (a second copy leaves with the first)
//   9. corruption (one bit flips; a duplicate's copy carries it too)
// Each random rule draws from a stream of its own, derived from the seed,
// once for every datagram arriving in this direction whether or not an
// earlier rule dropped it: the same seed and the same arrivals give the
// same fates, and turning one rule on or off changes no other rule's choices.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

#include "link/Direction.h"
#include "link/LinkClock.h"
#include "link/LinkSettings.h"
#include "link/LinkRandom.h"
#include "link/TraceLink.h"

enum class DropCause : std::uint8_t { None, Periodic, Burst, Random, QueueFull, Outage };

struct Fate {
    DropCause drop = DropCause::None;
    LinkTime departure{};
    std::int32_t count = 0;     // > 0: leaves as the count-th of its drop period ("count:K.")
    bool delayLine = false;     // "Delay D ms." when it leaves
    std::int32_t delayMs = 0;   // D
    bool reordered = false;
    bool duplicated = false;
    // For the capture and the event log: the delay in force before jitter,
    // the jitter it was given, and with a full queue the datagrams then on
    // the rate-limited link.
    std::int32_t settingDelayMs = 0;
    bool jittered = false;
    std::int64_t jitterNs = 0;
    std::uint32_t waiting = 0;
    std::int32_t corruptBit = -1;  // >= 0: this bit flips, counted from the first byte's lowest
    bool fellBehind = false;    // a serial delay: it waited more than a second behind those before it

    bool Corrupted() const { return corruptBit >= 0; }
    bool Dropped() const { return drop != DropCause::None; }
};

// Flips bit `bit` of the bytes (bit 0 is the first byte's lowest).
inline void FlipBit(unsigned char* bytes, std::int32_t bit)
{
    bytes[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
}

class Impairment {
public:
    // The settings must have passed ValidateLinkSettings.
    Impairment(const LinkSettings& settings, std::uint64_t seed, Direction direction);

    // New settings between two datagrams: the random streams, the drop
    // counter, a burst in progress and the datagrams on a rate-limited
    // link carry on.
    void Apply(const LinkSettings& settings);
    // The periodic loss (as a drop period) and the delay alone.
    void SetLossAndDelay(std::int32_t missCount, std::int32_t delayMs);
    std::int32_t DelayMs() const { return m_delayMs; }

    // The rate trace's time 0 (the moment the link is ready).
    void StartTraceAt(LinkTime origin);

    Fate Decide(LinkTime arrival, std::size_t size);
    // A datagram that no rule saw (the link was down): its draws are
    // taken all the same, so later datagrams meet the same choices.
    void Skip() { DrawForArrival(); }

    // After a shorter delay moved the waiting datagrams earlier: later
    // datagrams queue behind `latest` at most.
    void PullTimelinesBackTo(LinkTime latest);

private:
    struct Draws {
        double burst, loss, reorder, jitter, duplicate, corrupt, corruptBit;
    };
    Draws DrawForArrival();
    bool PeriodicDrops(Fate& fate);
    bool BurstDrops(double draw);
    // Rate stage: when the datagram has crossed the link, or nothing when the queue is full.
    std::optional<LinkTime> CrossRateLimitedLink(LinkTime arrival, std::size_t size);
    LinkTime Delay(LinkTime start, double jitterDraw, Fate& fate);
    static std::int32_t CorruptBit(const Draws& draws, double percent, std::size_t size);

    LinkSettings m_settings;  // to-client's rate in rateKbit where it differs
    Direction m_direction = Direction::ToServer;
    bool m_pipeline = false;            // --pipeline, or any jitter
    std::chrono::nanoseconds m_jitter{0};
    LinkRandom m_burstRandom, m_lossRandom, m_reorderRandom, m_jitterRandom, m_duplicateRandom;
    LinkRandom m_corruptRandom;
    std::optional<TraceLink> m_traceLink;

    std::int32_t m_missCount = 0;
    std::int32_t m_delayMs = 0;
    std::int32_t m_count = 1;
    bool m_inBurst = false;
    std::deque<LinkTime> m_onLink;  // when each datagram on the rate-limited link has crossed it
    LinkTime m_lineFree{};          // serial delay: when the one before has left
    LinkTime m_lastDeparture{};     // keep order
};
