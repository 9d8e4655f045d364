#pragma once
// A non-blocking UDP socket with numeric endpoints, IPv4 or IPv6, for the
// link engine's hot path: single datagrams, and several in one call where
// the system has one (Linux: recvmmsg and sendmmsg; one at a time
// elsewhere). SocketWait tells when it may hold datagrams.

#include <cstdint>

#include "framework/core/IpEndpoint.h"

class DatagramSocket {
public:
    DatagramSocket() = default;
    ~DatagramSocket() { Close(); }
    DatagramSocket(const DatagramSocket&) = delete;
    DatagramSocket& operator=(const DatagramSocket&) = delete;

    enum class Stack { Single, Dual };
    // Opens a socket of the endpoint's family bound to it. Stack::Dual asks
    // an IPv6 socket to take IPv4 too (where the system allows it: see
    // IsDualStack). False, with the socket closed, when it fails; LastError
    // says why.
    bool Open(const IpEndpoint& local, Stack stack = Stack::Single);
    void Close();
    bool IsOpen() const { return m_handle != kInvalid; }
    int LastError() const { return m_lastError; }

    bool IsV6() const { return m_v6; }
    bool IsDualStack() const { return m_dualStack; }
    // Whether a datagram to the peer may go through this socket: the same
    // family, or IPv4 through a dual-stack socket.
    bool CanReach(const IpEndpoint& peer) const { return peer.IsV4() ? (!m_v6 || m_dualStack) : m_v6; }
    // Fixes the one peer of the socket; false when the system has no route
    // or source address for it (a test of reachability: nothing is sent).
    bool Connect(const IpEndpoint& peer);
    // Where it is bound (the port the system chose included).
    IpEndpoint LocalEndpoint() const;

    // ReceiveDatagram returns the length, 0 included for an empty datagram,
    // or -1 when none was taken (none pending, one longer than the buffer,
    // an error). SendDatagram returns the bytes sent, or -1.
    int ReceiveDatagram(void* buffer, int capacity, IpEndpoint& from);
    int SendDatagram(const void* buffer, int length, const IpEndpoint& to);

    struct Received {
        unsigned char* bytes = nullptr;
        int capacity = 0;  // the room at bytes
        int length = 0;    // -1: longer than the room, discarded
        IpEndpoint peer;   // who sent it
    };
    struct Outgoing {
        const unsigned char* bytes = nullptr;
        int length = 0;
        IpEndpoint peer;    // where it goes
        bool sent = false;  // it went whole
    };
    static constexpr int kMostDatagramsPerCall = 64;
    // Fills the slots in order; returns how many it took (0 when none was
    // pending), at most kMostDatagramsPerCall.
    int ReceiveDatagrams(Received* slots, int count);
    // Sends the slots in order, marking each that went.
    void SendDatagrams(Outgoing* slots, int count);
    // Asks the system for send and receive buffers of this many bytes (it
    // may give less); false when it refuses outright.
    bool SetBufferSizes(int bytes);

    std::intptr_t NativeSocket() const { return m_handle; }
    static constexpr std::intptr_t kInvalid = -1;

private:
    std::intptr_t m_handle = kInvalid;
    bool m_v6 = false;
    bool m_dualStack = false;
    int m_lastError = 0;
};
