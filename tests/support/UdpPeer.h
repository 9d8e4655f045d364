#pragma once
// A UDP client or server for the tests: a real socket on a loopback
// address with a port chosen by the system, a receive buffer for the bursts
// a test sends it, and receives bounded in time.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "framework/core/CAsyncSocket.h"
#include "tests/support/CStringPrinter.h"
#include "framework/core/SocketTypes.h"

struct Datagram {
    std::vector<unsigned char> bytes;
    CString fromAddress;
    unsigned fromPort = 0;
};

// How long a test waits for something that should come: generous, so that
// a loaded machine does not fail it. A wait that ends early costs nothing.
inline constexpr std::chrono::milliseconds kArrivalDeadline{10000};

// Asks for a receive buffer of this many bytes (the system may grant less).
inline bool SetReceiveBuffer(CAsyncSocket& socket, int bytes)
{
#ifdef _WIN32
    const char* value = reinterpret_cast<const char*>(&bytes);
    return setsockopt(static_cast<SOCKET>(socket.NativeSocket()), SOL_SOCKET, SO_RCVBUF, value, sizeof bytes) == 0;
#else
    return setsockopt(static_cast<int>(socket.NativeSocket()), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
#endif
}

// The bytes of the datagram waiting in the socket (0 when none).
inline unsigned long PendingBytes(CAsyncSocket& socket)
{
#ifdef _WIN32
    u_long pending = 0;
    return ioctlsocket(static_cast<SOCKET>(socket.NativeSocket()), FIONREAD, &pending) == 0 ? pending : 0;
#else
    int pending = 0;
    return ioctl(static_cast<int>(socket.NativeSocket()), FIONREAD, &pending) == 0 ? static_cast<unsigned long>(pending) : 0;
#endif
}

class UdpPeer {
public:
    // Room for some 250 of the longest datagrams the relay passes on
    // (Linux caps it at net.core.rmem_max).
    static constexpr int kReceiveBuffer = 4 << 20;

    explicit UdpPeer(const wchar_t* address = L"127.0.0.1") : m_address(address)
    {
        AfxSocketInit();
        m_ok = m_socket.Create(0, SOCK_DGRAM, FD_READ, m_address);
        if (m_ok)
            SetReceiveBuffer(m_socket, kReceiveBuffer);
    }

    bool IsOpen() const { return m_ok; }
    void Close() { m_socket.Close(); }
    unsigned Port() const { return m_socket.GetLocalPort(); }
    const CString& Address() const { return m_address; }

    int SendTo(const std::vector<unsigned char>& bytes, unsigned port, const CString& address = L"127.0.0.1")
    {
        return m_socket.SendTo(bytes.data(), static_cast<int>(bytes.size()), port, address);
    }
    int SendText(const std::string& text, unsigned port, const CString& address = L"127.0.0.1")
    {
        return SendTo(std::vector<unsigned char>(text.begin(), text.end()), port, address);
    }

    // The next datagram, or nothing if none arrives within the timeout.
    std::optional<Datagram> Receive(std::chrono::milliseconds timeout = kArrivalDeadline)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        Datagram datagram;
        datagram.bytes.resize(70000);
        do {
            const int received = m_socket.ReceiveFrom(datagram.bytes.data(), static_cast<int>(datagram.bytes.size()),
                                                      datagram.fromAddress, datagram.fromPort);
            if (received >= 0 && !(received == 0 && datagram.fromAddress.IsEmpty())) {
                datagram.bytes.resize(static_cast<size_t>(received));
                return datagram;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        } while (std::chrono::steady_clock::now() < deadline);
        return std::nullopt;
    }

    std::optional<std::string> ReceiveText(std::chrono::milliseconds timeout = kArrivalDeadline)
    {
        auto datagram = Receive(timeout);
        if (!datagram)
            return std::nullopt;
        return std::string(datagram->bytes.begin(), datagram->bytes.end());
    }

private:
    CString m_address;
    CAsyncSocket m_socket;
    bool m_ok = false;
};

inline std::vector<unsigned char> RandomBytes(size_t size, std::uint32_t seed)
{
    std::vector<unsigned char> bytes(size);
    for (auto& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(seed >> 24);
    }
    return bytes;
}
