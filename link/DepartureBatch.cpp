#include "link/DepartureBatch.h"

#include "link/LinkReport.h"

void DepartureBatch::Add(DatagramSocket* socket, Direction direction, const Fate& fate, bool copy,
                         const unsigned char* bytes, int length, const IpEndpoint& to, const Hop& hop)
{
    m_departures.push_back(Departure{socket, direction, fate, copy, hop});
    Hop& leaving = m_departures.back().hop;
    leaving.to = to;
    leaving.bytes = bytes;
    leaving.length = length;
    m_slots.push_back(DatagramSocket::Outgoing{bytes, length, to, false});
}

void DepartureBatch::Flush()
{
    for (std::size_t start = 0; start < m_departures.size();) {
        // A run through one socket goes in one call.
        DatagramSocket* socket = m_departures[start].socket;
        std::size_t end = start;
        while (end < m_departures.size() && m_departures[end].socket == socket)
            ++end;
        if (socket)
            socket->SendDatagrams(&m_slots[start], static_cast<int>(end - start));
        for (std::size_t i = start; i < end; ++i) {
            const Departure& departure = m_departures[i];
            if (socket)
                m_report.Left(departure.direction, departure.fate, departure.copy, m_slots[i].sent, departure.hop);
            else
                m_report.LostWithSession(departure.direction, departure.hop);
        }
        start = end;
    }
    m_departures.clear();
    m_slots.clear();
}
