// The socket layer's promises that the relay relies on, on real loopback sockets.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "framework/core/SocketWait.h"
#include "framework/core/StopSignal.h"
#include "tests/support/UdpPeer.h"

using namespace std::chrono_literals;

namespace {

int ReceiveWithin(CAsyncSocket& socket, std::vector<unsigned char>& buffer, CString& from, unsigned& port)
{
    const auto deadline = std::chrono::steady_clock::now() + kArrivalDeadline;
    do {
        const int received = socket.ReceiveFrom(buffer.data(), static_cast<int>(buffer.size()), from, port);
        if (received >= 0)
            return received;
        std::this_thread::sleep_for(1ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return -1;
}

// Waits (bounded) until a datagram waits in the socket.
bool WaitForPending(CAsyncSocket& socket)
{
    const auto deadline = std::chrono::steady_clock::now() + kArrivalDeadline;
    while (PendingBytes(socket) == 0) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// The sockets library must be started before any socket exists.
class SocketLibraryEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(AfxSocketInit()); }
};
const auto* const kSocketLibrary = ::testing::AddGlobalTestEnvironment(new SocketLibraryEnvironment);

}  // namespace

TEST(UdpSocket, DatagramLongerThanTheBufferIsDiscardedNotTruncated)
{
    UdpPeer sender;
    CAsyncSocket receiver;
    ASSERT_TRUE(receiver.Create(0, SOCK_DGRAM, FD_READ, L"127.0.0.1"));
    EXPECT_EQ(PendingBytes(receiver), 0u);
    ASSERT_GT(sender.SendTo(RandomBytes(15001, 3), receiver.GetLocalPort()), 0);
    ASSERT_GT(sender.SendTo(RandomBytes(15000, 4), receiver.GetLocalPort()), 0);
    ASSERT_TRUE(WaitForPending(receiver));  // the long one, first in line

    std::vector<unsigned char> buffer(15000);
    CString from;
    unsigned port = 0;
    EXPECT_LT(receiver.ReceiveFrom(buffer.data(), 15000, from, port), 0);
    ASSERT_EQ(ReceiveWithin(receiver, buffer, from, port), 15000);
    EXPECT_EQ(buffer, RandomBytes(15000, 4));
    EXPECT_EQ(from, CString(L"127.0.0.1"));
    EXPECT_EQ(port, sender.Port());
}

TEST(UdpSocket, EmptyDatagramReceivesAsZeroAndNothingPendingAsLess)
{
    UdpPeer sender;
    CAsyncSocket receiver;
    ASSERT_TRUE(receiver.Create(0, SOCK_DGRAM, FD_READ, L"127.0.0.1"));
    std::vector<unsigned char> buffer(16);
    CString from;
    unsigned port = 0;
    EXPECT_LT(receiver.ReceiveFrom(buffer.data(), 16, from, port), 0);
    ASSERT_EQ(sender.SendTo({}, receiver.GetLocalPort()), 0);
    EXPECT_EQ(ReceiveWithin(receiver, buffer, from, port), 0);
}

TEST(UdpSocket, BindFailuresAreReportedWithTheSystemsReason)
{
    CAsyncSocket first;
    ASSERT_TRUE(first.Create(0, SOCK_DGRAM, FD_READ, L"127.0.0.1"));
    CAsyncSocket second;
    EXPECT_FALSE(second.Create(first.GetLocalPort(), SOCK_DGRAM, FD_READ, L"127.0.0.1"));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_NE(second.GetLastError(), 0);
    EXPECT_FALSE(CAsyncSocket::ErrorText(second.GetLastError()).IsEmpty());
    EXPECT_FALSE(second.Create(0, SOCK_DGRAM, FD_READ, L"not an address"));
}

TEST(UdpSocket, OnlyTheLow16BitsOfThePortAreUsed)
{
    CAsyncSocket receiver;
    ASSERT_TRUE(receiver.Create(0, SOCK_DGRAM, FD_READ, L"127.0.0.1"));
    UdpPeer sender;
    ASSERT_GT(sender.SendText("wrapped", receiver.GetLocalPort() + 0x30000), 0);
    std::vector<unsigned char> buffer(16);
    CString from;
    unsigned port = 0;
    EXPECT_EQ(ReceiveWithin(receiver, buffer, from, port), 7);
}

TEST(UdpSocket, WaitForDatagramWakesOnArrivalAndOnStop)
{
    CAsyncSocket receiver;
    ASSERT_TRUE(receiver.Create(0, SOCK_DGRAM, FD_READ, L"127.0.0.1"));
    StopSignal stop;
    UdpPeer sender;
    std::thread later([&] {
        std::this_thread::sleep_for(50ms);
        sender.SendText("x", receiver.GetLocalPort());
    });
    EXPECT_TRUE(receiver.WaitForDatagram(stop));
    later.join();

    std::thread stopper([&] {
        std::this_thread::sleep_for(50ms);
        stop.Raise();
    });
    std::vector<unsigned char> buffer(16);
    CString from;
    unsigned port = 0;
    while (receiver.ReceiveFrom(buffer.data(), 16, from, port) >= 0) {
    }
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(receiver.WaitForDatagram(stop));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s) << "the stop must wake the wait";
    stopper.join();
}

TEST(StopSignalPause, LastsItsTimeUnlessRaised)
{
    StopSignal stop;
    auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(stop.Pause(30));
    EXPECT_GE(std::chrono::steady_clock::now() - before, 30ms);

    std::thread raiser([&] {
        std::this_thread::sleep_for(30ms);
        stop.Raise();
    });
    before = std::chrono::steady_clock::now();
    EXPECT_FALSE(stop.Pause(60000));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s) << "the raise must end the pause";
    raiser.join();
    stop.Reset();
    EXPECT_TRUE(stop.Pause(1));
}

TEST(StopSignalPause, UntilADeadlineNeverEndsBeforeIt)
{
    // Deadlines between whole milliseconds, short and past the awake stretch.
    StopSignal stop;
    for (int i = 0; i < 24; ++i) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(137 + 431 * i);
        EXPECT_TRUE(stop.PauseUntil(end));
        EXPECT_GE(std::chrono::steady_clock::now(), end) << "pause " << i;
    }
}

TEST(StopSignalPause, WithoutItsEventStillLastsItsTimeAndSeesARaise)
{
    StopSignal stop(StopSignal::kNoHandle);  // as when the system would not make the event
    EXPECT_FALSE(stop.IsUsable());
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(stop.Pause(30));
    EXPECT_GE(std::chrono::steady_clock::now() - before, 30ms);

    std::thread raiser([&] {
        std::this_thread::sleep_for(30ms);
        stop.Raise();
    });
    const auto raisedAround = std::chrono::steady_clock::now();
    EXPECT_FALSE(stop.Pause(60000));
    EXPECT_LT(std::chrono::steady_clock::now() - raisedAround, 10s) << "the raise must end the pause";
    raiser.join();
}

TEST(UdpSocket, WaitForDatagramRefusesASignalThatCouldNeverEndIt)
{
    CAsyncSocket receiver;
    ASSERT_TRUE(receiver.Create(0, SOCK_DGRAM, FD_READ, L"127.0.0.1"));
    StopSignal unusable(StopSignal::kNoHandle);
    // Should the wait block all the same, this datagram ends it - as a
    // datagram, which is the wrong answer.
    UdpPeer sender;
    std::atomic<bool> returned{false};
    std::thread unblock([&] {
        for (int i = 0; i < 300 && !returned; ++i)
            std::this_thread::sleep_for(10ms);
        sender.SendText("late", receiver.GetLocalPort());
    });
    EXPECT_FALSE(receiver.WaitForDatagram(unusable));
    returned = true;
    EXPECT_FALSE(unusable.IsRaised());
    unblock.join();
}

TEST(SocketWait, ADeadlineIsNeverReportedBeforeItPasses)
{
    // Deadlines between whole milliseconds and between a timer's 100 ns steps.
    StopSignal signal;
    SocketWait wait(signal);
    ASSERT_TRUE(wait.IsUsable());
    std::vector<std::uint64_t> ready;
    for (int i = 0; i < 24; ++i) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::nanoseconds(137'050 + 431'030 * i);
        EXPECT_EQ(wait.Wait(deadline, ready), SocketWait::Woken::Deadline) << "wait " << i;
        EXPECT_GE(std::chrono::steady_clock::now(), deadline) << "wait " << i;
    }
}

TEST(SocketWait, ADatagramOrARaiseEndsAWaitLongBeforeItsDeadline)
{
    StopSignal signal;
    SocketWait wait(signal);
    CAsyncSocket receiver;
    ASSERT_TRUE(receiver.Create(0, SOCK_DGRAM, FD_READ, L"127.0.0.1"));
    ASSERT_TRUE(wait.Add(receiver, 7));
    std::vector<std::uint64_t> ready;
    std::vector<unsigned char> buffer(16);
    CString from;
    unsigned port = 0;
    const auto muchLater = std::chrono::steady_clock::now() + 60s;

    UdpPeer sender;
    std::thread later([&] {
        std::this_thread::sleep_for(30ms);
        sender.SendText("x", receiver.GetLocalPort());
    });
    // A wait may report the socket when it holds nothing yet; the datagram is what counts.
    const auto before = std::chrono::steady_clock::now();
    int received = -1;
    while (received < 0 && std::chrono::steady_clock::now() - before < 10s) {
        ASSERT_EQ(wait.Wait(muchLater, ready), SocketWait::Woken::Sockets);
        ASSERT_EQ(ready, std::vector<std::uint64_t>{7});
        received = receiver.ReceiveFrom(buffer.data(), 16, from, port);
    }
    EXPECT_EQ(received, 1) << "the datagram must end the wait";
    later.join();

    std::thread raiser([&] {
        std::this_thread::sleep_for(30ms);
        signal.Raise();
    });
    const auto raisedAround = std::chrono::steady_clock::now();
    SocketWait::Woken woken = SocketWait::Woken::Sockets;
    while (woken == SocketWait::Woken::Sockets && std::chrono::steady_clock::now() - raisedAround < 10s)
        woken = wait.Wait(muchLater, ready);
    EXPECT_EQ(woken, SocketWait::Woken::Signal);
    EXPECT_LT(std::chrono::steady_clock::now() - raisedAround, 10s) << "the raise must end the wait";
    raiser.join();
    wait.Remove(receiver);
}
