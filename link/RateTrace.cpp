#include "link/RateTrace.h"

#include <algorithm>
#include <charconv>

#include "link/NumberLines.h"

RateTrace::RateTrace(std::vector<std::int64_t> milliseconds)
{
    m_times.reserve(milliseconds.size());
    for (const auto ms : milliseconds)
        m_times.push_back(std::chrono::milliseconds(ms));
    m_length = m_times.back();
}

std::uint64_t RateTrace::FirstAtOrAfter(LinkTime since) const
{
    if (since < LinkTime{0})
        since = LinkTime{0};
    const auto repetition = static_cast<std::uint64_t>(since / m_length);
    const LinkTime within = since - m_length * static_cast<std::int64_t>(repetition);
    // within < m_length == the last time stamp, so one is found.
    const auto found = std::lower_bound(m_times.begin(), m_times.end(), within);
    return repetition * m_times.size() + static_cast<std::uint64_t>(found - m_times.begin());
}

LinkTime RateTrace::TimeOf(std::uint64_t opportunity) const
{
    const auto repetition = static_cast<std::int64_t>(opportunity / m_times.size());
    return m_length * repetition + m_times[opportunity % m_times.size()];
}

double RateTrace::BytesPerSecond() const
{
    return static_cast<double>(m_times.size() * kBytesPerOpportunity) / (static_cast<double>(m_length.count()) / 1e9);
}

RateTraceReading ReadRateTrace(std::string_view text)
{
    constexpr std::size_t kMostLines = 10000000;
    constexpr std::int64_t kLongest = 86400000LL * 365;  // a year of milliseconds
    RateTraceReading reading;
    auto& times = reading.milliseconds;
    const auto problem = ForEachNumberLine(text, [&](std::string_view line) -> std::optional<std::string> {
        std::int64_t ms = 0;
        const auto [stop, error] = std::from_chars(line.data(), line.data() + line.size(), ms);
        if (error != std::errc() || stop != line.data() + line.size() || ms < 0 || ms > kLongest)
            return "expected a time in whole milliseconds (0 to a year), not '" + std::string(line) + "'";
        if (!times.empty() && ms < times.back())
            return std::string("the time stamps must not decrease");
        if (times.size() == kMostLines)
            return std::string("a trace has at most 10000000 time stamps");
        times.push_back(ms);
        return std::nullopt;
    });
    if (problem)
        reading.problem = *problem;
    else if (times.empty())
        reading.problem = "the trace has no time stamps";
    else if (times.back() == 0)
        reading.problem = "the trace's last time stamp must be more than 0 (it is the trace's length)";
    if (!reading.problem.empty())
        times.clear();
    return reading;
}
