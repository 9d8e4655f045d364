#include "link/TraceLink.h"

#include <utility>

TraceLink::TraceLink(std::shared_ptr<const RateTrace> trace, std::int32_t queueLimit)
    : m_trace(std::move(trace)), m_queueLimit(queueLimit)
{
}

void TraceLink::MoveToFirstUsable(LinkTime since)
{
    const bool stillAhead = m_started && m_trace->TimeOf(m_opportunity) >= since;
    if (stillAhead && m_bytesLeft > 0)
        return;  // shares what the last datagram left of its opportunity
    m_opportunity = stillAhead ? m_opportunity + 1 : m_trace->FirstAtOrAfter(since);
    m_bytesLeft = RateTrace::kBytesPerOpportunity;
    m_started = true;
}

std::optional<LinkTime> TraceLink::Cross(LinkTime arrival, std::size_t size)
{
    while (!m_onLink.empty() && m_onLink.front() <= arrival)
        m_onLink.pop_front();
    if (m_onLink.size() >= static_cast<std::size_t>(m_queueLimit))
        return std::nullopt;
    MoveToFirstUsable(arrival - m_origin);
    while (size > m_bytesLeft) {
        size -= m_bytesLeft;
        ++m_opportunity;
        m_bytesLeft = RateTrace::kBytesPerOpportunity;
    }
    m_bytesLeft -= size;
    m_onLink.push_back(m_origin + m_trace->TimeOf(m_opportunity));
    return m_onLink.back();
}
