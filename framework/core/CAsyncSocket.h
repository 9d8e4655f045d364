#pragma once
// A UDP socket in the shape the relay uses: create-and-bind in one step,
// receive one datagram with its sender as text (dotted decimal, or IPv6 as
// "::1" - an IPv4-mapped sender as the IPv4 address it is), send one
// datagram to an address given as text. The socket is non-blocking;
// WaitForDatagram lets a worker sleep until one arrives or it is told to stop.

#include <cstdint>

#include "framework/core/CString.h"

class StopSignal;

class CAsyncSocket {
public:
    CAsyncSocket() = default;
    virtual ~CAsyncSocket();
    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;

    // Creates a socket of the given type (SOCK_DGRAM) and binds it to
    // address:port with one bind. Only the low 16 bits of the port are used;
    // the address is read in the manner of inet_addr, or as an IPv6 address
    // (a zone after '%'; "::" takes IPv4 too where the system allows). Returns false, with
    // the socket closed, when either step fails; GetLastError tells why.
    bool Create(unsigned port, int socketType, long events, const CString& address);
    void Close();
    bool IsOpen() const { return m_hSocket != kInvalid; }

    // Takes one datagram. Returns its length with the sender filled in, or 0
    // or less when none was taken (none pending, an empty datagram, one
    // longer than the buffer - which is discarded, never truncated, and
    // reported as kDatagramTooLong - or an error).
    int ReceiveFrom(void* buffer, int capacity, CString& fromAddress, unsigned& fromPort, int flags = 0);

    // Sends one datagram; only the low 16 bits of the port are used.
    // Returns the bytes sent, or -1.
    int SendTo(const void* buffer, int length, unsigned port, const CString& address, int flags = 0);

    // Blocks until a datagram may be pending (true), or until the signal is
    // raised or the wait fails (false; the signal tells which). A signal
    // that is not usable fails the wait at once, as it could never end it.
    bool WaitForDatagram(const StopSignal& stop);

    // Asks the system for send and receive buffers of this many bytes (it
    // may give less); false when it refuses outright.
    bool SetBufferSizes(int bytes);

    // The port the socket is bound to, in host order (0 when closed).
    unsigned GetLocalPort() const;

    // The system's code for the last failure of Create, and its text.
    int GetLastError() const { return m_lastError; }
    // The system's text for a code; where it has none, a short English text
    // for the usual reasons a port cannot be opened, with the number, or
    // else "error N".
    static CString ErrorText(int code);
    // The usual reasons a port cannot be opened, so that a program can say
    // them in its own words where the system has no text.
    enum class OpenFailure { Other, AddressInUse, AddressNotAvailable, AccessDenied };
    static OpenFailure ClassifyError(int code);
    // The system's text for a code; empty when it has none (Wine has none
    // for most socket errors).
    static CString SystemErrorText(int code);

    static constexpr std::intptr_t kInvalid = -1;
    static constexpr int kDatagramTooLong = -2;

    // The system's handle, for calls this class does not make.
    std::intptr_t NativeSocket() const { return m_hSocket; }
    // Whether it takes IPv4 and IPv6 (one bound to "::" where the system allows).
    bool TakesBothFamilies() const { return m_dualStack; }

protected:
    std::intptr_t m_hSocket = kInvalid;

private:
    bool m_v6 = false;
    bool m_dualStack = false;
    std::intptr_t m_readEvent = 0;  // Windows: signalled when a datagram arrives
    int m_lastError = 0;
};

// Starts the sockets library once per process; false when it will not start.
bool AfxSocketInit();
