#pragma once
// What an engine tells an observer about each datagram, when one is given:
// its arrival and its fate (dropped and why, or when and how it left). The
// capture and the JSON event log are observers. Called on the engine's
// thread, so an observer must take little time and never wait; without
// one an engine pays a pointer test per datagram.

#include <array>
#include <cstdint>

#include "framework/core/IpEndpoint.h"

// An IPv4 or IPv6 address and a port, as the datagram carried them: the
// address bytes in network order (IPv4 in the first four), the port a number.
struct PacketEndpoint {
    bool v6 = false;
    std::array<std::uint8_t, 16> address{};
    std::uint16_t port = 0;

    static PacketEndpoint V4(std::uint32_t hostOrderAddress, std::uint16_t port)
    {
        PacketEndpoint endpoint;
        for (int i = 0; i < 4; ++i)
            endpoint.address[i] = static_cast<std::uint8_t>(hostOrderAddress >> (24 - 8 * i));
        endpoint.port = port;
        return endpoint;
    }
    static PacketEndpoint V6(const std::array<std::uint8_t, 16>& address, std::uint16_t port)
    {
        PacketEndpoint endpoint;
        endpoint.v6 = true;
        endpoint.address = address;
        endpoint.port = port;
        return endpoint;
    }
    static PacketEndpoint From(const IpEndpoint& endpoint)
    {
        return endpoint.IsV4() ? V4(endpoint.V4Address(), endpoint.Port()) : V6(endpoint.Bytes(), endpoint.Port());
    }
    friend bool operator==(const PacketEndpoint&, const PacketEndpoint&) = default;
};

enum class DatagramWay : std::uint8_t { ToServer, ToClient };
enum class DatagramStep : std::uint8_t { Arrived, Dropped, Left };

struct DatagramEvent {
    DatagramStep step = DatagramStep::Arrived;
    DatagramWay way = DatagramWay::ToServer;
    // Counts the arrivals of its way from 1; a copy has its original's.
    std::uint64_t number = 0;
    // Steady-clock nanoseconds: when this happened, and when it arrived.
    std::int64_t timeNs = 0;
    std::int64_t arrivalNs = 0;
    // As it travelled: Arrived and Dropped from its sender to the relay,
    // Left from the relay to its receiver.
    PacketEndpoint source;
    PacketEndpoint destination;
    PacketEndpoint client;  // the client it belongs to
    const unsigned char* bytes = nullptr;  // valid during the call only
    std::uint32_t size = 0;

    // Dropped: the name of the counter that counted it; -1 or the
    // datagrams then on that way's rate-limited link (queue-full).
    const char* cause = nullptr;
    std::int64_t waiting = -1;
    // Left: the delay it was given (ms, when delayed), the jitter added to
    // it, the count of its drop period (> 0: "count:K."), a second copy,
    // one that overtook others.
    bool delayed = false;
    std::int32_t delayMs = 0;
    bool jittered = false;
    std::int64_t jitterNs = 0;
    std::int32_t count = 0;
    int copy = 1;
    bool reordered = false;
};

class DatagramObserver {
public:
    virtual void OnDatagram(const DatagramEvent& event) = 0;

protected:
    ~DatagramObserver() = default;
};
