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

void DepartureQueue::Reorder() { std::make_heap(m_heap.begin(), m_heap.end(), LeavesLater); }
