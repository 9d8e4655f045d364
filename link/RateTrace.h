#pragma once
// A recorded link's delivery opportunities: one time stamp in milliseconds a
// line, each a moment when up to 1 500 bytes may leave, in the form research
// groups share recorded cellular links in. The last time stamp is the
// trace's length; the trace then starts again from there, for ever.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/LinkClock.h"

class RateTrace {
public:
    static constexpr std::size_t kBytesPerOpportunity = 1500;

    // Time stamps not decreasing, the last more than 0.
    explicit RateTrace(std::vector<std::int64_t> milliseconds);

    // The first opportunity at or after `since` (from the trace's start),
    // numbered across the repetitions; and when that one comes.
    std::uint64_t FirstAtOrAfter(LinkTime since) const;
    LinkTime TimeOf(std::uint64_t opportunity) const;

    std::size_t Size() const { return m_times.size(); }
    LinkTime Length() const { return m_length; }
    // Bytes a second over one repetition.
    double BytesPerSecond() const;

private:
    std::vector<LinkTime> m_times;
    LinkTime m_length{};
};

// A trace's text: the time stamps or the problem with the line that has it.
struct RateTraceReading {
    std::vector<std::int64_t> milliseconds;
    std::string problem;
};
RateTraceReading ReadRateTrace(std::string_view text);
