#pragma once
// The datagrams leaving now, gathered so that a run through one socket
// goes in one call where the system allows (Linux: sendmmsg). Flush sends
// them in the order they were added, then reports each one.

#include <vector>

#include "framework/core/DatagramSocket.h"
#include "framework/core/IpEndpoint.h"
#include "link/Direction.h"
#include "link/Impairment.h"
#include "link/LinkReport.h"

class LinkReport;

class DepartureBatch {
public:
    explicit DepartureBatch(LinkReport& report) : m_report(report) {}

    // A datagram to send through `socket` (null: its session has closed,
    // and it is reported lost with it). The bytes must stay put until Flush.
    // hop: its number, arrival and client, and the relay's end it leaves from.
    void Add(DatagramSocket* socket, Direction direction, const Fate& fate, bool copy, const unsigned char* bytes,
             int length, const IpEndpoint& to, const Hop& hop);
    void Flush();

private:
    struct Departure {
        DatagramSocket* socket = nullptr;
        Direction direction = Direction::ToServer;
        Fate fate;
        bool copy = false;
        Hop hop;
    };

    LinkReport& m_report;
    std::vector<Departure> m_departures;
    std::vector<DatagramSocket::Outgoing> m_slots;  // beside each departure
};
