#include "link/Impairment.h"

#include <algorithm>
#include <cmath>

#include "relay/MissCount.h"

namespace {

// Streams per direction: each rule's stream index is direction * kRules + rule.
// These numbers stay as they are, so a seed gives the same fates as before.
enum RuleStream : std::uint64_t { kBurstStream, kLossStream, kReorderStream, kJitterStream, kDuplicateStream, kRules };

LinkRandom StreamFor(std::uint64_t seed, Direction direction, RuleStream rule)
{
    return LinkRandom::Stream(seed, static_cast<std::uint64_t>(direction) * kRules + rule);
}

// Rules added later take indices past both directions' first rules:
// 2 * kRules + direction * kLaterRules + rule.
enum LaterRuleStream : std::uint64_t { kCorruptStream, kLaterRules };

LinkRandom StreamFor(std::uint64_t seed, Direction direction, LaterRuleStream rule)
{
    return LinkRandom::Stream(seed, 2 * kRules + static_cast<std::uint64_t>(direction) * kLaterRules + rule);
}

std::chrono::nanoseconds Milliseconds(double ms)
{
    return std::chrono::nanoseconds(std::llround(ms * 1e6));
}

}  // namespace

Impairment::Impairment(const LinkSettings& settings, std::uint64_t seed, Direction direction)
    : m_burstRandom(StreamFor(seed, direction, kBurstStream)),
      m_lossRandom(StreamFor(seed, direction, kLossStream)),
      m_reorderRandom(StreamFor(seed, direction, kReorderStream)),
      m_jitterRandom(StreamFor(seed, direction, kJitterStream)),
      m_duplicateRandom(StreamFor(seed, direction, kDuplicateStream)),
      m_corruptRandom(StreamFor(seed, direction, kCorruptStream))
{
    m_direction = direction;
    if (const auto& trace = settings.rateTraces[static_cast<std::size_t>(direction)])
        m_traceLink.emplace(trace, settings.queueLimit);
    Apply(settings);
}

void Impairment::StartTraceAt(LinkTime origin)
{
    if (m_traceLink)
        m_traceLink->StartAt(origin);
}

void Impairment::Apply(const LinkSettings& settings)
{
    m_settings = settings;
    if (m_direction == Direction::ToClient && settings.rateKbitToClient)
        m_settings.rateKbit = settings.rateKbitToClient;
    m_jitter = Milliseconds(settings.jitterMs);
    m_pipeline = settings.pipeline || m_jitter.count() > 0;
    if (!settings.burstLoss)
        m_inBurst = false;
    SetLossAndDelay(MissCountFromLossRate(settings.lossPercent), settings.delayMs);
}

void Impairment::SetLossAndDelay(std::int32_t missCount, std::int32_t delayMs)
{
    m_missCount = missCount;
    m_delayMs = delayMs;
}

Impairment::Draws Impairment::DrawForArrival()
{
    return Draws{m_burstRandom.NextUnit(),     m_lossRandom.NextUnit(),    m_reorderRandom.NextUnit(),
                 m_jitterRandom.NextUnit(),    m_duplicateRandom.NextUnit(), m_corruptRandom.NextUnit(),
                 m_corruptRandom.NextUnit()};
}

Fate Impairment::Decide(LinkTime arrival, std::size_t size)
{
    const Draws draws = DrawForArrival();
    Fate fate;
    if (PeriodicDrops(fate)) {
        fate.drop = DropCause::Periodic;
        return fate;
    }
    if (BurstDrops(draws.burst)) {
        fate.drop = DropCause::Burst;
        return fate;
    }
    if (draws.loss * 100.0 < m_settings.randomLossPercent) {
        fate.drop = DropCause::Random;
        return fate;
    }
    const auto crossed = CrossRateLimitedLink(arrival, size);
    if (!crossed) {
        fate.drop = DropCause::QueueFull;
        fate.waiting = static_cast<std::uint32_t>(m_traceLink ? m_traceLink->Waiting() : m_onLink.size());
        return fate;
    }
    if (draws.reorder * 100.0 < m_settings.reorderPercent) {
        fate.reordered = true;
        fate.departure = *crossed;
    } else {
        fate.departure = Delay(*crossed, draws.jitter, fate);
        if (m_settings.keepOrder) {
            fate.departure = std::max(fate.departure, m_lastDeparture);
            m_lastDeparture = fate.departure;
        }
    }
    fate.duplicated = draws.duplicate * 100.0 < m_settings.duplicatePercent;
    fate.corruptBit = CorruptBit(draws, m_settings.corruptPercent, size);
    return fate;
}

std::int32_t Impairment::CorruptBit(const Draws& draws, double percent, std::size_t size)
{
    if (size == 0 || !(draws.corrupt * 100.0 < percent))
        return -1;
    return static_cast<std::int32_t>(draws.corruptBit * static_cast<double>(size * 8));
}

bool Impairment::PeriodicDrops(Fate& fate)
{
    if (m_missCount == 0)
        return false;
    if (m_count < m_missCount) {
        fate.count = m_count++;
        return false;
    }
    m_count = 1;
    return true;
}

bool Impairment::BurstDrops(double draw)
{
    if (!m_settings.burstLoss)
        return false;
    const double change = m_inBurst ? m_settings.burstLoss->leavePercent : m_settings.burstLoss->enterPercent;
    if (draw * 100.0 < change)
        m_inBurst = !m_inBurst;
    return m_inBurst;
}

std::optional<LinkTime> Impairment::CrossRateLimitedLink(LinkTime arrival, std::size_t size)
{
    if (m_traceLink)
        return m_traceLink->Cross(arrival, size);
    if (!m_settings.rateKbit)
        return arrival;
    while (!m_onLink.empty() && m_onLink.front() <= arrival)
        m_onLink.pop_front();
    if (m_onLink.size() >= static_cast<std::size_t>(m_settings.queueLimit))
        return std::nullopt;
    // size * 8 bits at rateKbit * 1000 bits a second, reckoned in double
    // and bounded before it becomes nanoseconds (the options' floor keeps
    // it within a week), and the queue's end kept within a century, so
    // that no sum of them overflows the clock.
    constexpr double kLongestOnTheWire = 365 * 86400e9;
    constexpr auto kFarthest = std::chrono::hours(24 * 365 * 100);
    const double nanoseconds = std::min(static_cast<double>(size) * 8e6 / *m_settings.rateKbit, kLongestOnTheWire);
    const auto onTheWire = std::chrono::nanoseconds(std::llround(nanoseconds));
    const LinkTime start = m_onLink.empty() ? arrival : std::max(arrival, m_onLink.back());
    m_onLink.push_back(std::min<LinkTime>(start + onTheWire, arrival + kFarthest));
    return m_onLink.back();
}

LinkTime Impairment::Delay(LinkTime start, double jitterDraw, Fate& fate)
{
    const std::chrono::nanoseconds delay = std::chrono::milliseconds(std::max(0, m_delayMs));
    fate.settingDelayMs = m_delayMs;
    if (!m_pipeline) {
        fate.delayLine = m_delayMs != 0;
        fate.delayMs = m_delayMs;
        fate.fellBehind = m_lineFree - start > std::chrono::seconds(1);
        m_lineFree = std::max(start, m_lineFree) + delay;
        return m_lineFree;
    }
    const auto jitter = m_jitter.count();
    if (jitter == 0) {
        fate.delayLine = m_delayMs != 0;
        fate.delayMs = m_delayMs;
        return start + delay;
    }
    // The shape's offset in jitters (uniform: -1 to +1), then never below no delay at all.
    const auto offset = std::llround(m_settings.distribution.Offset(jitterDraw) * static_cast<double>(jitter));
    const std::chrono::nanoseconds own(std::max<std::int64_t>(0, delay.count() + offset));
    fate.delayLine = true;
    fate.delayMs = static_cast<std::int32_t>(std::llround(static_cast<double>(own.count()) / 1e6));
    fate.jittered = true;
    fate.jitterNs = own.count() - delay.count();
    return start + own;
}

void Impairment::PullTimelinesBackTo(LinkTime latest)
{
    m_lineFree = std::min(m_lineFree, latest);
    m_lastDeparture = std::min(m_lastDeparture, latest);
}
