#include "link/DepartureQueue.h"

#include <algorithm>

namespace {

// A heap keeps its greatest element first: "greater" here means leaves sooner.
bool LeavesLater(const WaitingDatagram& a, const WaitingDatagram& b)
{
    if (a.departure != b.departure)
        return a.departure > b.departure;
    return a.sequence > b.sequence;
}

}  // namespace

void DepartureQueue::Push(WaitingDatagram datagram)
{
    datagram.sequence = m_nextSequence++;
    m_heap.push_back(std::move(datagram));
    std::push_heap(m_heap.begin(), m_heap.end(), LeavesLater);
}

WaitingDatagram DepartureQueue::Pop()
{
    std::pop_heap(m_heap.begin(), m_heap.end(), LeavesLater);
    WaitingDatagram next = std::move(m_heap.back());
    m_heap.pop_back();
    return next;
}

std::size_t DepartureQueue::Size() const
{
    std::size_t size = m_heap.size();
    for (const Aside& aside : m_aside)
        size += aside.heap.size();
    return size;
}

void DepartureQueue::BeginReschedule(Rule rule)
{
    m_rules.push_back(std::move(rule));
    if (m_heap.empty())
        return;
    m_aside.push_back(Aside{std::move(m_heap), m_rules.size() - 1});
    m_heap = std::vector<WaitingDatagram>();
    m_heap.reserve(Size());  // all come back here: grow once, not by doubling
}

void DepartureQueue::RescheduleSome(std::size_t most)
{
    while (most > 0 && !m_aside.empty()) {
        Aside& aside = m_aside.front();
        for (; most > 0 && !aside.heap.empty(); --most) {
            std::pop_heap(aside.heap.begin(), aside.heap.end(), LeavesLater);
            WaitingDatagram datagram = std::move(aside.heap.back());
            aside.heap.pop_back();
            for (std::size_t r = aside.firstRule; r < m_rules.size(); ++r)
                m_rules[r](datagram);
            // Its sequence stays: among equal times the order it was queued in.
            m_heap.push_back(std::move(datagram));
            std::push_heap(m_heap.begin(), m_heap.end(), LeavesLater);
        }
        if (aside.heap.empty())
            m_aside.erase(m_aside.begin());
    }
    if (m_aside.empty())
        m_rules.clear();
}

void DepartureQueue::ReleaseRoom()
{
    if (m_heap.empty() && m_aside.empty())
        std::vector<WaitingDatagram>().swap(m_heap);
}
