#pragma once
// A link whose rate follows a recorded trace: datagrams wait in order for
// the trace's opportunities, each of which lets up to 1 500 bytes leave.
// Small datagrams share one; a large one takes as many as its bytes need
// and leaves at the one that carries its last byte. An opportunity nobody
// waits for is lost. The queue holds at most `queueLimit` datagrams that
// have not left; a newcomer finding it full is dropped.

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

#include "link/LinkClock.h"
#include "link/RateTrace.h"

class TraceLink {
public:
    TraceLink(std::shared_ptr<const RateTrace> trace, std::int32_t queueLimit);

    // The trace's time 0 on the link's clock.
    void StartAt(LinkTime origin) { m_origin = origin; }

    // When the datagram has crossed the link, or nothing when the queue is full.
    std::optional<LinkTime> Cross(LinkTime arrival, std::size_t size);
    // How many were on the link at the last crossing.
    std::size_t Waiting() const { return m_onLink.size(); }

private:
    void MoveToFirstUsable(LinkTime since);

    std::shared_ptr<const RateTrace> m_trace;
    std::int32_t m_queueLimit;
    LinkTime m_origin{};
    bool m_started = false;
    std::uint64_t m_opportunity = 0;  // the one the last datagram left at
    std::size_t m_bytesLeft = 0;      // what it can still carry
    std::deque<LinkTime> m_onLink;    // departures not yet passed
};
