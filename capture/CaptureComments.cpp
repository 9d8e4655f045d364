#include "capture/CaptureComments.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

// Milliseconds with three decimals, rounded to the microsecond in whole
// numbers only: no binary fraction makes 0.0005 ms round differently in
// two places.
template <class Line>
void PutMilliseconds(Line& line, std::int64_t ns, bool signed_)
{
    const bool negative = ns < 0;
    const std::uint64_t magnitude = static_cast<std::uint64_t>(negative ? -(ns + 1) : ns) + (negative ? 1 : 0);
    const std::uint64_t us = (magnitude + 500) / 1000;
    const char fraction[4] = {static_cast<char>('0' + us % 1000 / 100), static_cast<char>('0' + us % 100 / 10),
                              static_cast<char>('0' + us % 10), '\0'};
    line << (negative ? "-" : (signed_ ? "+" : "")) << us / 1000 << "." << fraction;
}

}  // namespace

template <std::size_t N>
FateText::Line<N>& FateText::Line<N>::operator<<(std::string_view part)
{
    const std::size_t n = std::min(part.size(), N - length);
    std::memcpy(text.data() + length, part.data(), n);
    length += n;
    return *this;
}

template <std::size_t N>
FateText::Line<N>& FateText::Line<N>::operator<<(std::uint64_t value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
}

const char* WayName(DatagramWay way) { return way == DatagramWay::ToServer ? "to-server" : "to-client"; }

std::string MillisecondsText(std::int64_t ns, bool signed_)
{
    FateText::Line<48> line;
    PutMilliseconds(line, ns, signed_);
    return std::string(line.View());
}

FateText::FateText(const DatagramEvent& event)
{
    m_first << WayName(event.way) << " #" << event.number << " ";
    switch (event.step) {
    case DatagramStep::Arrived:
        m_first << "arrived";
        break;
    case DatagramStep::Dropped:
        m_first << "dropped: " << (event.cause ? event.cause : "unknown");
        if (event.waiting >= 0)
            m_first << " (" << static_cast<std::uint64_t>(event.waiting) << " waiting)";
        break;
    case DatagramStep::Left:
        if (event.cause) {  // it could not leave
            m_first << "dropped: " << event.cause;
            break;
        }
        m_first << "left after ";
        PutMilliseconds(m_first, event.timeNs - event.arrivalNs, false);
        m_first << " ms";
        if (event.delayed) {
            m_first << " (delay ";
            if (event.delayMs < 0)
                m_first << "-";
            m_first << static_cast<std::uint64_t>(event.delayMs < 0 ? -std::int64_t{event.delayMs} : event.delayMs);
            if (event.jittered) {
                m_first << ", jitter ";
                PutMilliseconds(m_first, event.jitterNs, true);
            }
            m_first << ")";
        }
        if (event.copy > 1 || event.reordered)
            m_second << WayName(event.way) << " #" << event.number << " ";
        if (event.copy > 1)
            m_second << "copy " << static_cast<std::uint64_t>(event.copy) << " of "
                     << static_cast<std::uint64_t>(event.copy) << " (duplicate)";
        else if (event.reordered)
            m_second << "reordered";
        break;
    }
}

std::vector<std::string> FateComments(const DatagramEvent& event)
{
    const FateText text(event);
    std::vector<std::string> comments;
    for (std::size_t i = 0; i < text.Count(); ++i)
        comments.emplace_back(text[i]);
    return comments;
}
